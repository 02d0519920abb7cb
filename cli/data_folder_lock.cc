#include "cli/data_folder_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "cli/data_folder_files.h"

namespace newsclass {
namespace {

std::string lockPath(const std::string& folder) {
  return (std::filesystem::path(folder) / kDataFolderLockName).string();
}

// The first line of the file as a pid; nullopt when it holds none.
std::optional<long> readHolder(int fd) {
  char buffer[32];
  ssize_t size = ::pread(fd, buffer, sizeof buffer, 0);
  if (size <= 0) return std::nullopt;
  const char* end = buffer + size;
  long pid = 0;
  auto [next, error] = std::from_chars(buffer, end, pid);
  if (error != std::errc() || next == buffer || (next != end && *next != '\n') || pid <= 0) {
    return std::nullopt;
  }
  return pid;
}

[[noreturn]] void refuseLockFile(const std::string& path) {
  throw DataFileError(path + ": not a regular file (a symbolic link or a folder); remove it");
}

// Opens (creating as allowed) the lock file; -1 when a reader cannot, throws for a writer. The
// lock file is never followed through a symbolic link and must be a regular file: opening
// anything else would truncate or lock a file that is not ours.
int openLockFile(const std::string& folder, DataFolderAccess access) {
  const std::string path = lockPath(folder);
  // O_NONBLOCK: opening a FIFO planted as the lock file must not wait for a writer; it has no
  // effect on a regular file or on flock.
  constexpr int kFlags = O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  if (access == DataFolderAccess::kWrite) ensureDirectory(folder);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
  // A read-only folder may still hold a lock file left by a writer; a shared lock needs no write
  // access.
  if (fd < 0 && access != DataFolderAccess::kWrite && errno != ELOOP && errno != EISDIR) {
    fd = ::open(path.c_str(), O_RDONLY | kFlags);
  }
  if (fd < 0) {
    const int error = errno;
    if (error == ELOOP || error == EISDIR) refuseLockFile(path);
    if (access != DataFolderAccess::kWrite) return -1;
    throw DataFileError(path + ": cannot open the lock file: " + std::strerror(error));
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    refuseLockFile(path);
  }
  return fd;
}

// Removes the temporary files ("<name>.XXXXXX.tmp") that runs killed while writing left in the
// folder. Called with the exclusive lock held: every writer of the data folder holds that lock
// while its temporary files exist, so no live run owns one of these. Only regular files are
// removed, never through a symbolic link; anything that cannot be removed is left.
void removeStaleTemporaryFiles(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!isTemporaryFileName(name)) continue;
    struct stat info;
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(info.st_mode)) continue;
    ::unlinkat(dirFd, name.c_str(), 0);
  }
  ::closedir(dir);
}

// Locks `fd`; false when `wait` is false and another holder is in the way.
bool lock(int fd, DataFolderAccess access, bool wait, const std::string& folder) {
  int operation = (access == DataFolderAccess::kWrite ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
  for (;;) {
    if (::flock(fd, operation) == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK && !wait) return false;
    throw DataFileError(lockPath(folder) + ": cannot lock: " + std::strerror(errno));
  }
}

// Records this process as the holder in the file.
void recordHolder(int fd) {
  // Shared holders may write at the same time; each writes one whole line at offset 0, so the
  // first line is always some holder's pid. Failures only cost the pid in a waiting line.
  const std::string line = std::to_string(static_cast<long>(::getpid())) + "\n";
  if (::pwrite(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size())) {
    [[maybe_unused]] int ignored = ::ftruncate(fd, static_cast<off_t>(line.size()));
  }
}

}  // namespace

DataFolderLock::DataFolderLock(const std::string& folder, DataFolderAccess access,
                               std::ostream& notices) {
  if (access == DataFolderAccess::kNone) return;
  int fd = openLockFile(folder, access);
  if (fd < 0) return;
  try {
    if (!lock(fd, access, false, folder)) {
      std::optional<long> holder = readHolder(fd);
      notices << "newsclass: data folder " << folder << " is in use by another newsclass run (pid "
              << (holder ? std::to_string(*holder) : std::string("unknown")) << "); waiting\n";
      notices.flush();
      lock(fd, access, true, folder);
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  recordHolder(fd);
  fd_ = fd;
  if (access == DataFolderAccess::kWrite) removeStaleTemporaryFiles(folder);
}

std::optional<DataFolderLock> DataFolderLock::tryAcquire(const std::string& folder,
                                                         DataFolderAccess access) {
  if (access == DataFolderAccess::kNone) return DataFolderLock();
  int fd = openLockFile(folder, access);
  if (fd < 0) return DataFolderLock();
  bool locked = false;
  try {
    locked = lock(fd, access, false, folder);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (!locked) {
    ::close(fd);
    return std::nullopt;
  }
  recordHolder(fd);
  if (access == DataFolderAccess::kWrite) removeStaleTemporaryFiles(folder);
  return DataFolderLock(fd);
}

DataFolderLock::~DataFolderLock() { release(); }

DataFolderLock::DataFolderLock(DataFolderLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

DataFolderLock& DataFolderLock::operator=(DataFolderLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void DataFolderLock::release() {
  // Closing the only descriptor of the open file releases the flock.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<long> dataFolderLockHolder(const std::string& folder) {
  int fd = ::open(lockPath(folder).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<long> holder = readHolder(fd);
  ::close(fd);
  return holder;
}

}  // namespace newsclass
