#include "driver/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "driver/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

TEST(AtomicFileTest, WritesBytesAndCreatesTheFolder) {
  testing::TempDir dir;
  std::string path = dir.file("sub/folder/out.dat");
  writeFileAtomically(path, [](std::ostream& out) { out << "a\nb\n"; });
  EXPECT_EQ(testing::readFileBytes(path), "a\nb\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(AtomicFileTest, AFailedWriteLeavesTheOldFileAlone) {
  testing::TempDir dir;
  std::string path = dir.file("out.dat");
  testing::writeFileBytes(path, "good\n");
  EXPECT_THROW(writeFileAtomically(path,
                                   [](std::ostream& out) {
                                     out << "half";
                                     throw DataFileError("stopped");
                                   }),
               DataFileError);
  EXPECT_EQ(testing::readFileBytes(path), "good\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(AtomicFileTest, AnUnwritableFolderIsAnErrorNamingTheFile) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("plainfile"), "x");
  try {
    writeFileAtomically(dir.file("plainfile/out.dat"), [](std::ostream& out) { out << "x"; });
    FAIL() << "expected DataFileError";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(dir.file("plainfile/out.dat") + ": ", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace newsclass
