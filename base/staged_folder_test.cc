#include "base/staged_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t entriesIn(const std::string& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

TEST(StagedFolder, CommitReplacesTheTargetsWithTheStagedFilesAndLeavesNoStagingBehind) {
  testing::TempDir dir;
  writeText(dir.file("dict.dat"), "old dictionary");
  writeText(dir.file("model.json"), "old facts");
  writeText(dir.file("corpus.db"), "database");
  {
    StagedFolder staged(dir.path(), {"model.json", "absent.json"});
    EXPECT_EQ(std::filesystem::path(staged.folder()).parent_path(), dir.path());
    // Carried files start as the target's; files not written stay as they are.
    EXPECT_EQ(readText(staged.folder() + "/model.json"), "old facts");
    EXPECT_FALSE(std::filesystem::exists(staged.folder() + "/absent.json"));
    writeFileAtomically(staged.folder() + "/dict.dat", [](std::ostream& out) { out << "new"; });
    writeFileAtomically(staged.folder() + "/model.json", [](std::ostream& out) { out << "facts"; });
    EXPECT_EQ(readText(dir.file("dict.dat")), "old dictionary");
    staged.commit({"model.json"});
    EXPECT_FALSE(std::filesystem::exists(staged.folder()));
  }
  EXPECT_EQ(readText(dir.file("dict.dat")), "new");
  EXPECT_EQ(readText(dir.file("model.json")), "facts");
  EXPECT_EQ(readText(dir.file("corpus.db")), "database");
  EXPECT_EQ(entriesIn(dir.path()), 3u);
}

TEST(StagedFolder, AFolderGoneWithoutCommitOrRemovedOnASignalLeavesTheTargetAsItWas) {
  testing::TempDir dir;
  writeText(dir.file("dict.dat"), "old dictionary");
  {
    StagedFolder staged(dir.path(), {});
    writeText(staged.folder() + "/dict.dat", "half");
    writeText(staged.folder() + "/dict.dat.abc123.tmp", "temporary");
  }
  EXPECT_EQ(readText(dir.file("dict.dat")), "old dictionary");
  EXPECT_EQ(entriesIn(dir.path()), 1u);

  StagedFolder staged(dir.path(), {});
  writeText(staged.folder() + "/dict.dat", "half");
  StagedFolder::removeAllUncommitted();
  EXPECT_FALSE(std::filesystem::exists(staged.folder()));
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(StagedFolder, AMissingTargetIsRefusedNamingIt) {
  testing::TempDir dir;
  try {
    StagedFolder staged(dir.file("missing"), {});
    FAIL() << "no error";
  } catch (const DataFileError& e) {
    EXPECT_NE(std::string(e.what()).find(dir.file("missing") + ": cannot create a staging folder"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace newsclass
