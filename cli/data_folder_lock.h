// Keeps two newsclass runs from mixing their files in one data folder. Every command that
// writes the data folder holds an exclusive advisory lock (flock) on "<data folder>/newsclass.lock"
// for its whole run, with its process id written into the file; commands that only read data
// files hold a shared lock, so they never see half of one run's files and half of another's.
//
// A run that finds the lock taken does not fail: it prints one line to standard error,
//   newsclass: data folder D is in use by another newsclass run (pid N); waiting
// and waits until the other run ends (N is the pid found in the lock file, "unknown" when the
// file holds none yet). The lock is released when the holder ends or its lock object goes away,
// also when the process dies; the file itself stays, empty of meaning until the next holder.
//
// A writer creates the data folder and the lock file when missing and fails with DataFileError
// when it cannot. A reader that cannot open or create the lock file (folder missing or
// read-only) goes on without the lock. The lock file is opened with O_NOFOLLOW and must be a
// regular file: a symbolic link, a folder or anything else in its place is refused, for readers
// and writers alike, with DataFileError naming it, and whatever it points to stays untouched.
//
// A writer that holds the exclusive lock removes the temporary files ("<name>.XXXXXX.tmp",
// regular files only) that killed runs left in the data folder: every writer of the folder
// holds the lock while its temporary files exist, so none of them belongs to a live run.
//
// Readers need the lock only while they load files: a long-lived reader (predict on a pipe)
// releases it once it has loaded what it needs, so that writers are not kept waiting.
//
// The lock is advisory: it orders newsclass runs, not other programs, and it only works where
// flock does (local file systems; on NFS it depends on the client).
#ifndef NEWSCLASS_CLI_DATA_FOLDER_LOCK_H_
#define NEWSCLASS_CLI_DATA_FOLDER_LOCK_H_

#include <optional>
#include <ostream>
#include <string>

namespace newsclass {

enum class DataFolderAccess {
  kNone,   // the command does not touch the data files
  kRead,   // it reads data files only: shared lock
  kWrite,  // it writes data files: exclusive lock
};

class DataFolderLock {
 public:
  // Holds nothing.
  DataFolderLock() = default;
  // Takes the lock on `folder` for `access`, waiting as long as another run holds it; the
  // waiting line goes to `notices` once, before the wait. kNone holds nothing.
  DataFolderLock(const std::string& folder, DataFolderAccess access, std::ostream& notices);
  ~DataFolderLock();
  DataFolderLock(DataFolderLock&& other) noexcept;
  DataFolderLock& operator=(DataFolderLock&& other) noexcept;
  DataFolderLock(const DataFolderLock&) = delete;
  DataFolderLock& operator=(const DataFolderLock&) = delete;

  // Takes the lock only when no other holder is in the way; nullopt when one is. Throws as the
  // constructor does.
  static std::optional<DataFolderLock> tryAcquire(const std::string& folder,
                                                  DataFolderAccess access);

  // True while this object holds a lock.
  bool held() const { return fd_ >= 0; }
  // Releases the lock now (also done by the destructor).
  void release();

 private:
  explicit DataFolderLock(int fd) : fd_(fd) {}

  int fd_ = -1;
};

// The pid recorded in the lock file of `folder`, or nullopt when there is none to read.
std::optional<long> dataFolderLockHolder(const std::string& folder);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_DATA_FOLDER_LOCK_H_
