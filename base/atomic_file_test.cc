#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
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
  std::vector<std::unique_ptr<TemporaryFile>> files;
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    files.push_back(std::make_unique<TemporaryFile>(path));
    names.insert(files.back()->name());
  }
  EXPECT_EQ(names.size(), 50u);
  for (const std::string& name : names) {
    // "<path>.XXXXXX.tmp"
    ASSERT_EQ(name.size(), path.size() + 11) << name;
    EXPECT_EQ(name.substr(0, path.size() + 1), path + ".");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_TRUE(isTemporaryFileName(std::filesystem::path(name).filename().string())) << name;
    EXPECT_EQ(testing::readFileBytes(name), "");
  }
  // Created as an ordinary file: the umask decides, not a private 0600.
  mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat info;
  ASSERT_EQ(::stat(names.begin()->c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
  // Destroyed unrenamed, each one is removed.
  files.clear();
  EXPECT_EQ(folderNames(dir.path()), std::set<std::string>{});
}

TEST(AtomicFileTest, TemporaryFileNamesAreExactlySixLettersOrDigitsBeforeTmp) {
  for (const char* name : {"dict.dat.Ab3xYz.tmp", "a.000000.tmp", "x.ZZZZZZ.tmp"}) {
    EXPECT_TRUE(isTemporaryFileName(name)) << name;
  }
  for (const char* name : {"x.tmp", "a.ABCDEFG.tmp", "a.ABCDE.tmp", ".ABCDEF.tmp", "a.ABC-EF.tmp",
                           "a.ABCDEF.tmpx", "a.ABCDEF.TMP", "aABCDEF.tmp", "a.ABCD\xc3\xa9.tmp",
                           "newsclass.lock", ""}) {
    EXPECT_FALSE(isTemporaryFileName(name)) << name;
  }
}

// Every fsync and rename the writers make, by the path of the descriptor or the names.
std::vector<std::string> calls;

std::string pathOfDescriptor(int fd) {
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec).string();
}

int recordingFsync(int fd) {
  calls.push_back("fsync " + pathOfDescriptor(fd));
  return ::fsync(fd);
}

int failingFileFsync(int fd) {
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    errno = EIO;
    return -1;
  }
  return ::fsync(fd);
}

int failingFolderFsync(int fd) {
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    errno = EIO;
    return -1;
  }
  return ::fsync(fd);
}

int recordingRename(const char* from, const char* to) {
  calls.push_back(std::string("rename ") + from + " " + to);
  return ::rename(from, to);
}

// Puts test doubles in place of the system calls while alive.
class ScopedCalls {
 public:
  ScopedCalls(int (*fsync)(int), int (*rename)(const char*, const char*))
      : saved_(fileSystemCalls()) {
    fileSystemCalls() = FileSystemCalls{fsync, rename};
    calls.clear();
  }
  ~ScopedCalls() { fileSystemCalls() = saved_; }

 private:
  FileSystemCalls saved_;
};

// The one temporary file in `folder`, "" when there is none or more than one.
std::string onlyTemporaryFile(const std::string& folder) {
  std::string found;
  int count = 0;
  for (const std::string& name : folderNames(folder)) {
    if (isTemporaryFileName(name)) {
      found = folder + "/" + name;
      ++count;
    }
  }
  return count == 1 ? found : std::string();
}

TEST(AtomicFileDurabilityTest, TheFileIsSyncedBeforeTheRenameAndTheFolderAfterIt) {
  testing::TempDir dir;
  const std::string path = dir.file("dict.dat");
  std::string temporary;
  {
    ScopedCalls watch(recordingFsync, recordingRename);
    writeFileAtomically(path, [&](std::ostream& out) {
      temporary = onlyTemporaryFile(dir.path());
      out << "words\n";
    });
    ASSERT_FALSE(temporary.empty());
    const std::string folder = std::filesystem::canonical(dir.path()).string();
    EXPECT_EQ(calls, (std::vector<std::string>{"fsync " + std::filesystem::weakly_canonical(temporary).string(),
                                               "rename " + temporary + " " + path,
                                               "fsync " + folder}));
  }
  EXPECT_EQ(testing::readFileBytes(path), "words\n");
}

TEST(AtomicFileDurabilityTest, AGroupSyncsEveryFileThenRenamesAllThenSyncsTheFolderOnce) {
  testing::TempDir dir;
  ScopedCalls watch(recordingFsync, recordingRename);
  AtomicFileGroup files;
  std::string temporaryA, temporaryB;
  files.write(dir.file("a.dat"), [&](std::ostream& out) {
    temporaryA = onlyTemporaryFile(dir.path());
    out << "a\n";
  });
  files.write(dir.file("b.dat"), [&](std::ostream& out) {
    for (const std::string& name : folderNames(dir.path())) {
      if (isTemporaryFileName(name) && dir.file(name) != temporaryA) temporaryB = dir.file(name);
    }
    out << "b\n";
  });
  EXPECT_TRUE(calls.empty()) << "nothing is synced before commit";
  files.commit();
  auto real = [](const std::string& p) { return std::filesystem::weakly_canonical(p).string(); };
  EXPECT_EQ(calls, (std::vector<std::string>{"fsync " + real(temporaryA), "fsync " + real(temporaryB),
                                             "rename " + temporaryA + " " + dir.file("a.dat"),
                                             "rename " + temporaryB + " " + dir.file("b.dat"),
                                             "fsync " + real(dir.path())}));
  EXPECT_EQ(testing::readFileBytes(dir.file("a.dat")), "a\n");
  EXPECT_EQ(testing::readFileBytes(dir.file("b.dat")), "b\n");
}

TEST(AtomicFileDurabilityTest, AFailingFileSyncIsAWriteFailureThatReplacesNothing) {
  testing::TempDir dir;
  const std::string path = dir.file("dict.dat");
  testing::writeFileBytes(path, "old\n");
  ScopedCalls failing(failingFileFsync, ::rename);
  try {
    writeFileAtomically(path, [](std::ostream& out) { out << "new\n"; });
    FAIL() << "expected DataFileError";
  } catch (const DataFileError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind(path + ": write failed: cannot sync " + path + ".", 0), 0u) << message;
    EXPECT_NE(message.find(".tmp: Input/output error"), std::string::npos) << message;
  }
  EXPECT_EQ(testing::readFileBytes(path), "old\n");
  EXPECT_EQ(folderNames(dir.path()), std::set<std::string>{"dict.dat"});

  // In a group, the failure comes before any rename.
  testing::writeFileBytes(dir.file("b.dat"), "old b\n");
  {
    AtomicFileGroup files;
    files.write(path, [](std::ostream& out) { out << "new\n"; });
    files.write(dir.file("b.dat"), [](std::ostream& out) { out << "new b\n"; });
    EXPECT_THROW(files.commit(), DataFileError);
  }
  EXPECT_EQ(testing::readFileBytes(path), "old\n");
  EXPECT_EQ(testing::readFileBytes(dir.file("b.dat")), "old b\n");
  EXPECT_EQ(folderNames(dir.path()), (std::set<std::string>{"b.dat", "dict.dat"}));
}

TEST(AtomicFileDurabilityTest, AFailingFolderSyncIsReportedNamingTheFolder) {
  testing::TempDir dir;
  const std::string path = dir.file("dict.dat");
  ScopedCalls failing(failingFolderFsync, ::rename);
  try {
    writeFileAtomically(path, [](std::ostream& out) { out << "new\n"; });
    FAIL() << "expected DataFileError";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), path + ": replaced, but syncing its folder " + dir.path() +
                                         " failed: Input/output error");
  }
}

TEST(AtomicFileTest, ASaveFunctionThatTakesANameWritesTheTemporaryFileItself) {
  testing::TempDir dir;
  const std::string path = dir.file("linear.model");
  testing::writeFileBytes(path, "old\n");
  AtomicFileGroup files;
  files.writeByName(path, [&](const std::string& name) {
    EXPECT_EQ(name.rfind("/proc/self/fd/", 0), 0u) << name;
    const std::string temporary = onlyTemporaryFile(dir.path());
    ASSERT_FALSE(temporary.empty());
    // The name reaches the file created for it even when its own name has gone meanwhile.
    ASSERT_EQ(::unlink(temporary.c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), temporary.c_str()), 0);
    FILE* file = std::fopen(name.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("solver_type L2R_L2LOSS_SVC_DUAL\n", file);
    ASSERT_EQ(std::fclose(file), 0);
  });
  // The planted link is refused at commit, and nothing was written through it.
  EXPECT_THROW(files.commit(), DataFileError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("victim")));
  EXPECT_EQ(testing::readFileBytes(path), "old\n");

  AtomicFileGroup again;
  again.writeByName(path, [](const std::string& name) {
    FILE* file = std::fopen(name.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("nr_class 2\n", file);
    ASSERT_EQ(std::fclose(file), 0);
  });
  again.commit();
  EXPECT_EQ(testing::readFileBytes(path), "nr_class 2\n");
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
    files.write(dir.file("b.dat"), [](std::ostream& out) { out << "new b\n"; });
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
  std::string staged;
  files.write(dir.file("b.dat"), [&](std::ostream& out) {
    for (const std::string& name : folderNames(dir.path())) {
      if (isTemporaryFileName(name) && name.rfind("b.dat.", 0) == 0) staged = dir.file(name);
    }
    out << "new b\n";
  });
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
  files.write(dir.file("a.dat"), [](std::ostream& out) { out << "a"; });
  EXPECT_THROW(files.write(dir.file("a.dat"), [](std::ostream& out) { out << "b"; }), DataFileError);
}

}  // namespace
}  // namespace newsclass
