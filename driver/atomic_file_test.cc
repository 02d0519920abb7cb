#include "driver/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// The names in a folder, sorted.
std::set<std::string> folderNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(AtomicFileTest, WritesBytesAndCreatesTheFolder) {
  testing::TempDir dir;
  std::string path = dir.file("sub/folder/out.dat");
  writeFileAtomically(path, [](std::ostream& out) { out << "a\nb\n"; });
  EXPECT_EQ(testing::readFileBytes(path), "a\nb\n");
  EXPECT_EQ(folderNames(dir.file("sub/folder")), std::set<std::string>{"out.dat"});
}

TEST(AtomicFileTest, AFailedWriteLeavesTheOldFileAloneAndNoTemporaryFile) {
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
  EXPECT_EQ(folderNames(dir.path()), std::set<std::string>{"out.dat"});
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

TEST(AtomicFileTest, ATargetThatIsAFolderFailsAndTheTemporaryFileIsRemoved) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir.file("out.dat"));
  try {
    writeFileAtomically(dir.file("out.dat"), [](std::ostream& out) { out << "x"; });
    FAIL() << "expected DataFileError";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(dir.file("out.dat") + ": cannot replace with ", 0), 0u)
        << e.what();
  }
  EXPECT_EQ(folderNames(dir.path()), std::set<std::string>{"out.dat"});
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("out.dat")));
}

TEST(AtomicFileTest, TemporaryNamesAreUniqueAndSitBesideTheTarget) {
  testing::TempDir dir;
  const std::string path = dir.file("dict.dat");
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) names.insert(createTemporaryFileFor(path));
  EXPECT_EQ(names.size(), 50u);
  for (const std::string& name : names) {
    // "<path>.XXXXXX.tmp"
    ASSERT_EQ(name.size(), path.size() + 11) << name;
    EXPECT_EQ(name.substr(0, path.size() + 1), path + ".");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_EQ(testing::readFileBytes(name), "");
  }
  // Created as an ordinary file: the umask decides, not a private 0600.
  mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat info;
  ASSERT_EQ(::stat(names.begin()->c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

// Two writers of one target in one process: the inner one finishes while the outer one is still
// writing; each writes its own temporary file, and the target ends as the last to finish wrote it.
TEST(AtomicFileTest, NestedWritersOfOneTargetDoNotMixTheirBytes) {
  testing::TempDir dir;
  const std::string path = dir.file("dict.dat");
  writeFileAtomically(path, [&](std::ostream& outer) {
    outer << "outer first half\n";
    writeFileAtomically(path, [](std::ostream& inner) { inner << "inner\n"; });
    EXPECT_EQ(testing::readFileBytes(path), "inner\n");
    outer << "outer second half\n";
  });
  EXPECT_EQ(testing::readFileBytes(path), "outer first half\nouter second half\n");
  EXPECT_EQ(folderNames(dir.path()), std::set<std::string>{"dict.dat"});
}

// Forked children replacing one target many times: every state the target passes through is one
// child's whole content, never a mix.
TEST(AtomicFileTest, ForkedWritersOfOneTargetLeaveOneWholeFile) {
  testing::TempDir dir;
  const std::string path = dir.file("dict.dat");
  const std::string contents[2] = {std::string(200000, 'a') + "\n", std::string(150000, 'b')};
  std::vector<pid_t> children;
  for (const std::string& content : contents) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int status = 0;
      try {
        for (int i = 0; i < 20; ++i) {
          writeFileAtomically(path, [&](std::ostream& out) { out << content; });
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(child);
  }
  int reads = 0, mixed = 0;
  size_t running = children.size();
  while (running > 0) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
      const std::string seen = testing::readFileBytes(path);
      ++reads;
      if (seen != contents[0] && seen != contents[1]) ++mixed;
    }
    for (pid_t& child : children) {
      int status = 0;
      if (child > 0 && ::waitpid(child, &status, WNOHANG) == child) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        child = 0;
        --running;
      }
    }
  }
  EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
  const std::string result = testing::readFileBytes(path);
  EXPECT_TRUE(result == contents[0] || result == contents[1]) << result.size() << " bytes";
  EXPECT_EQ(folderNames(dir.path()), std::set<std::string>{"dict.dat"});
}

TEST(AtomicFileGroupTest, ReplacesEveryTargetOnCommit) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("a.dat"), "old a\n");
  {
    AtomicFileGroup files;
    files.write(dir.file("a.dat"), [](std::ostream& out) { out << "new a\n"; });
    // A staged file can be filled by any writer, here one that replaces it atomically itself.
    std::string staged = files.stage(dir.file("b.dat"));
    writeFileAtomically(staged, [](std::ostream& out) { out << "new b\n"; });
    EXPECT_EQ(testing::readFileBytes(dir.file("a.dat")), "old a\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.dat")));
    files.commit();
  }
  EXPECT_EQ(testing::readFileBytes(dir.file("a.dat")), "new a\n");
  EXPECT_EQ(testing::readFileBytes(dir.file("b.dat")), "new b\n");
  EXPECT_EQ(folderNames(dir.path()), (std::set<std::string>{"a.dat", "b.dat"}));
}

TEST(AtomicFileGroupTest, AFailingSecondFileLeavesTheFirstTargetByteIdentical) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("trainingVSM.dat"), "1\n1\n0.5 \n");
  testing::writeFileBytes(dir.file("testingVSM.dat"), "2\n1\n0.25 \n");
  {
    AtomicFileGroup files;
    files.write(dir.file("trainingVSM.dat"), [](std::ostream& out) { out << "new\n"; });
    EXPECT_THROW(files.write(dir.file("testingVSM.dat"),
                             [](std::ostream&) { throw DataFileError("testing half failed"); }),
                 DataFileError);
  }
  EXPECT_EQ(testing::readFileBytes(dir.file("trainingVSM.dat")), "1\n1\n0.5 \n");
  EXPECT_EQ(testing::readFileBytes(dir.file("testingVSM.dat")), "2\n1\n0.25 \n");
  EXPECT_EQ(folderNames(dir.path()), (std::set<std::string>{"testingVSM.dat", "trainingVSM.dat"}));
}

TEST(AtomicFileGroupTest, ATargetThatIsAFolderFailsBeforeAnyRename) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("a.dat"), "old a\n");
  std::filesystem::create_directories(dir.file("b.dat"));
  {
    AtomicFileGroup files;
    files.write(dir.file("a.dat"), [](std::ostream& out) { out << "new a\n"; });
    files.write(dir.file("b.dat"), [](std::ostream& out) { out << "new b\n"; });
    try {
      files.commit();
      FAIL() << "expected DataFileError";
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()),
                dir.file("b.dat") + ": cannot replace a folder; nothing replaced");
    }
  }
  EXPECT_EQ(testing::readFileBytes(dir.file("a.dat")), "old a\n");
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("b.dat")));
  EXPECT_EQ(folderNames(dir.path()), (std::set<std::string>{"a.dat", "b.dat"}));
}

TEST(AtomicFileGroupTest, AStagedFileThatVanishedFailsBeforeAnyRename) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("a.dat"), "old a\n");
  AtomicFileGroup files;
  files.write(dir.file("a.dat"), [](std::ostream& out) { out << "new a\n"; });
  std::string staged = files.stage(dir.file("b.dat"));
  std::filesystem::remove(staged);
  try {
    files.commit();
    FAIL() << "expected DataFileError";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), dir.file("b.dat") + ": its temporary file " + staged +
                                         " is missing or not a regular file; nothing replaced");
  }
  EXPECT_EQ(testing::readFileBytes(dir.file("a.dat")), "old a\n");
}

TEST(AtomicFileGroupTest, ATargetStagedTwiceIsRefused) {
  testing::TempDir dir;
  AtomicFileGroup files;
  files.stage(dir.file("a.dat"));
  EXPECT_THROW(files.stage(dir.file("a.dat")), DataFileError);
}

}  // namespace
}  // namespace newsclass
