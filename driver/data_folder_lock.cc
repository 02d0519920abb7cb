#include "driver/data_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "driver/atomic_file.h"
#include "driver/errors.h"

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

// Opens (creating as allowed) the lock file; -1 when a reader cannot, throws for a writer.
int openLockFile(const std::string& folder, DataFolderAccess access) {
  const std::string path = lockPath(folder);
  if (access == DataFolderAccess::kWrite) {
    ensureDirectory(folder);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      throw DataFileError(path + ": cannot open the lock file: " + std::strerror(errno));
    }
    return fd;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  // A read-only folder may still hold a lock file left by a writer; a shared lock needs no write
  // access.
  if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
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
  int fd = ::open(lockPath(folder).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<long> holder = readHolder(fd);
  ::close(fd);
  return holder;
}

}  // namespace newsclass
