#include "cli/data_folder_lock.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>

#include "base/errors.h"
#include "testing/signalling_buffer.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// Reads one byte from `fd`, giving up after `milliseconds`; 0 when nothing came.
char readByte(int fd, int milliseconds) {
  pollfd wanted{fd, POLLIN, 0};
  if (::poll(&wanted, 1, milliseconds) != 1) return 0;
  char byte = 0;
  return ::read(fd, &byte, 1) == 1 ? byte : 0;
}

using testing::SignallingBuffer;

// A child that takes the lock with `access`, says 'H' once it holds it, waits for the parent's
// 'W' (or gives up after ten seconds), says 'R' and releases the lock as it exits.
pid_t forkHolder(const std::string& folder, DataFolderAccess access, int toParent, int fromParent) {
  pid_t child = ::fork();
  if (child != 0) return child;
  int status = 0;
  try {
    std::ostringstream notices;
    DataFolderLock lock(folder, access, notices);
    char held = 'H';
    if (::write(toParent, &held, 1) != 1) status = 1;
    readByte(fromParent, 10000);
    char releasing = 'R';
    if (::write(toParent, &releasing, 1) != 1) status = 1;
  } catch (...) {
    status = 2;
  }
  ::_exit(status);
}

struct Pipes {
  Pipes() {
    EXPECT_EQ(::pipe(toParent), 0);
    EXPECT_EQ(::pipe(toChild), 0);
  }
  ~Pipes() {
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) ::close(fd);
  }
  int toParent[2];
  int toChild[2];
};

// A second locker that finds the lock taken waits until the holder releases it, after one line
// naming the folder and the holder's pid. No timing is assumed: the holder releases only after
// the waiter has written its line, and the waiter must find the holder's 'R' already sent when
// its lock is granted.
void expectWaitsForHolder(DataFolderAccess holderAccess, DataFolderAccess waiterAccess) {
  testing::TempDir dir;
  const std::string folder = dir.file("data");
  std::filesystem::create_directories(folder);
  Pipes pipes;
  pid_t holder = forkHolder(folder, holderAccess, pipes.toParent[1], pipes.toChild[0]);
  ASSERT_GT(holder, 0);
  ASSERT_EQ(readByte(pipes.toParent[0], 10000), 'H');

  SignallingBuffer buffer(pipes.toChild[1]);
  std::ostream notices(&buffer);
  DataFolderLock lock(folder, waiterAccess, notices);
  EXPECT_TRUE(lock.held());
  EXPECT_EQ(readByte(pipes.toParent[0], 0), 'R') << "the lock was granted while still held";
  EXPECT_EQ(buffer.str(), "newsclass: data folder " + folder +
                              " is in use by another newsclass run (pid " + std::to_string(holder) +
                              "); waiting\n");
  int status = 0;
  ASSERT_EQ(::waitpid(holder, &status, 0), holder);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The waiter is the holder now.
  EXPECT_EQ(dataFolderLockHolder(folder), static_cast<long>(::getpid()));
}

TEST(DataFolderLockTest, ASecondWriterWaitsForTheFirst) {
  expectWaitsForHolder(DataFolderAccess::kWrite, DataFolderAccess::kWrite);
}

TEST(DataFolderLockTest, AReaderWaitsForAWriterAndAWriterForAReader) {
  expectWaitsForHolder(DataFolderAccess::kWrite, DataFolderAccess::kRead);
  expectWaitsForHolder(DataFolderAccess::kRead, DataFolderAccess::kWrite);
}

// flock locks belong to open files, so two lock objects of one process conflict as two
// processes would.
TEST(DataFolderLockTest, ExclusiveAndSharedLocksConflictAsTheyShould) {
  testing::TempDir dir;
  const std::string folder = dir.path();
  {
    std::optional<DataFolderLock> writer =
        DataFolderLock::tryAcquire(folder, DataFolderAccess::kWrite);
    ASSERT_TRUE(writer && writer->held());
    EXPECT_FALSE(DataFolderLock::tryAcquire(folder, DataFolderAccess::kWrite));
    EXPECT_FALSE(DataFolderLock::tryAcquire(folder, DataFolderAccess::kRead));
    writer->release();
    EXPECT_FALSE(writer->held());
    EXPECT_TRUE(DataFolderLock::tryAcquire(folder, DataFolderAccess::kWrite));
  }
  {
    std::optional<DataFolderLock> reader =
        DataFolderLock::tryAcquire(folder, DataFolderAccess::kRead);
    std::optional<DataFolderLock> secondReader =
        DataFolderLock::tryAcquire(folder, DataFolderAccess::kRead);
    ASSERT_TRUE(reader && reader->held());
    ASSERT_TRUE(secondReader && secondReader->held());
    EXPECT_FALSE(DataFolderLock::tryAcquire(folder, DataFolderAccess::kWrite));
    // A moved lock stays held by its new owner only.
    DataFolderLock moved = std::move(*reader);
    EXPECT_TRUE(moved.held());
    EXPECT_FALSE(reader->held());
  }
  // Both readers gone (the moved one too): free again.
  EXPECT_TRUE(DataFolderLock::tryAcquire(folder, DataFolderAccess::kWrite));
}

TEST(DataFolderLockTest, AWriterCreatesTheFolderAndRecordsItsPid) {
  testing::TempDir dir;
  const std::string folder = dir.file("new/data");
  std::ostringstream notices;
  DataFolderLock lock(folder, DataFolderAccess::kWrite, notices);
  EXPECT_TRUE(lock.held());
  EXPECT_EQ(notices.str(), "");
  EXPECT_EQ(testing::readFileBytes(folder + "/newsclass.lock"), std::to_string(::getpid()) + "\n");
}

TEST(DataFolderLockTest, AWriterThatCannotCreateTheLockFileFailsNamingIt) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("plainfile"), "x");
  std::ostringstream notices;
  EXPECT_THROW(DataFolderLock(dir.file("plainfile"), DataFolderAccess::kWrite, notices),
               DataFileError);
  std::filesystem::create_directories(dir.file("data/newsclass.lock"));
  try {
    DataFolderLock lock(dir.file("data"), DataFolderAccess::kWrite, notices);
    FAIL() << "expected DataFileError";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(dir.file("data/newsclass.lock") + ": ", 0), 0u)
        << e.what();
  }
}

TEST(DataFolderLockTest, AReaderWithoutAFolderGoesOnWithoutTheLock) {
  testing::TempDir dir;
  std::ostringstream notices;
  DataFolderLock lock(dir.file("missing"), DataFolderAccess::kRead, notices);
  EXPECT_FALSE(lock.held());
  EXPECT_EQ(notices.str(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
  DataFolderLock none(dir.path(), DataFolderAccess::kNone, notices);
  EXPECT_FALSE(none.held());
  EXPECT_FALSE(std::filesystem::exists(dir.file("newsclass.lock")));
}

TEST(DataFolderLockTest, TheHolderPidIsReadOnlyFromAWellFormedFirstLine) {
  testing::TempDir dir;
  EXPECT_EQ(dataFolderLockHolder(dir.path()), std::nullopt);
  testing::writeFileBytes(dir.file("newsclass.lock"), "");
  EXPECT_EQ(dataFolderLockHolder(dir.path()), std::nullopt);
  testing::writeFileBytes(dir.file("newsclass.lock"), "12x\n");
  EXPECT_EQ(dataFolderLockHolder(dir.path()), std::nullopt);
  // What two shared holders writing at once may leave: the last whole line first.
  testing::writeFileBytes(dir.file("newsclass.lock"), "6\n345\n");
  EXPECT_EQ(dataFolderLockHolder(dir.path()), 6);
}

// What a planted lock file points to is never opened: readers and writers alike refuse the
// link, a folder or a FIFO in its place, naming the lock file, and the victim keeps its bytes.
TEST(DataFolderLockTest, ALockFileThatIsNotARegularFileIsRefusedForEveryAccess) {
  testing::TempDir dir;
  const std::string folder = dir.file("data");
  const std::string lockFile = folder + "/newsclass.lock";
  const std::string expected =
      lockFile + ": not a regular file (a symbolic link or a folder); remove it";
  testing::writeFileBytes(dir.file("victim"), "precious\n");
  std::filesystem::create_directories(folder);
  auto refused = [&](DataFolderAccess access, const std::string& what) {
    std::ostringstream notices;
    try {
      DataFolderLock lock(folder, access, notices);
      ADD_FAILURE() << what << ": expected DataFileError";
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), expected) << what;
    }
    try {
      DataFolderLock::tryAcquire(folder, access);
      ADD_FAILURE() << what << ": tryAcquire: expected DataFileError";
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), expected) << what;
    }
  };
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), lockFile.c_str()), 0);
  refused(DataFolderAccess::kRead, "link, reader");
  refused(DataFolderAccess::kWrite, "link, writer");
  EXPECT_EQ(testing::readFileBytes(dir.file("victim")), "precious\n");
  EXPECT_EQ(dataFolderLockHolder(folder), std::nullopt);
  // A dangling link must not create its target either.
  std::filesystem::remove(lockFile);
  ASSERT_EQ(::symlink(dir.file("created").c_str(), lockFile.c_str()), 0);
  refused(DataFolderAccess::kRead, "dangling link, reader");
  refused(DataFolderAccess::kWrite, "dangling link, writer");
  EXPECT_FALSE(std::filesystem::exists(dir.file("created")));
  std::filesystem::remove(lockFile);
  std::filesystem::create_directories(lockFile);
  refused(DataFolderAccess::kRead, "folder, reader");
  refused(DataFolderAccess::kWrite, "folder, writer");
  std::filesystem::remove(lockFile);
  ASSERT_EQ(::mkfifo(lockFile.c_str(), 0666), 0);
  refused(DataFolderAccess::kRead, "fifo, reader");
  refused(DataFolderAccess::kWrite, "fifo, writer");
}

// The names left in `folder`, sorted.
std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(DataFolderLockTest, AWriterRemovesStaleTemporaryFilesAndNothingElse) {
  testing::TempDir dir;
  const std::string folder = dir.file("data");
  std::filesystem::create_directories(folder + "/sub");
  for (const char* name : {"trainingVSM.dat.Ab3xYz.tmp", "dict.dat.000000.tmp", "x.tmp",
                           "a.ABCDEFG.tmp", "a.ABCDE.tmp", "dict.dat", "keep.Ab3xYz.tmpx"}) {
    testing::writeFileBytes(folder + "/" + name, "bytes");
  }
  // Lookalikes that are not regular files, and a file one level down.
  testing::writeFileBytes(dir.file("victim"), "precious\n");
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), (folder + "/link.ABCDEF.tmp").c_str()), 0);
  std::filesystem::create_directories(folder + "/folder.ABCDEF.tmp");
  testing::writeFileBytes(folder + "/sub/deep.ABCDEF.tmp", "bytes");
  const std::set<std::string> kept = {"x.tmp",   "a.ABCDEFG.tmp",     "a.ABCDE.tmp",
                                      "dict.dat", "keep.Ab3xYz.tmpx", "link.ABCDEF.tmp",
                                      "folder.ABCDEF.tmp", "sub", "newsclass.lock"};
  std::set<std::string> all = kept;
  all.insert({"trainingVSM.dat.Ab3xYz.tmp", "dict.dat.000000.tmp"});
  std::ostringstream notices;
  {
    // Readers leave them: a writer may be filling them right now.
    DataFolderLock reader(folder, DataFolderAccess::kRead, notices);
    ASSERT_TRUE(reader.held());
    EXPECT_EQ(namesIn(folder), all);
  }
  {
    DataFolderLock writer(folder, DataFolderAccess::kWrite, notices);
    EXPECT_EQ(namesIn(folder), kept);
  }
  EXPECT_EQ(testing::readFileBytes(dir.file("victim")), "precious\n");
  EXPECT_TRUE(std::filesystem::exists(folder + "/sub/deep.ABCDEF.tmp"));
  testing::writeFileBytes(folder + "/dict.dat.Zz9Zz9.tmp", "bytes");
  EXPECT_TRUE(DataFolderLock::tryAcquire(folder, DataFolderAccess::kWrite));
  EXPECT_EQ(namesIn(folder), kept);
}

}  // namespace
}  // namespace newsclass
