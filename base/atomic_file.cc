#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "base/console.h"
#include "base/errors.h"

namespace newsclass {
namespace {

constexpr int kNameAttempts = 100;
constexpr size_t kSuffixLength = 6;

// Six letters or digits, different in every call and in every process: each call asks the
// system's random source, so forked children do not repeat their parent's names.
std::string randomSuffix() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  uint64_t bits =
      (static_cast<uint64_t>(device()) << 32) ^ device() ^ static_cast<uint64_t>(::getpid());
  std::string suffix(kSuffixLength, 'A');
  for (char& c : suffix) {
    c = kAlphabet[bits % 62];
    bits /= 62;
  }
  return suffix;
}

void ensureParentDirectory(const std::string& path) {
  std::filesystem::path target(path);
  if (!target.has_parent_path()) return;
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);
  if (ec) throw DataFileError(path + ": cannot create its folder: " + ec.message());
}

std::string folderOf(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

// fsyncs the folder, so that a rename inside it is on disk. Throws DataFileError naming `path`
// (the file whose new name is at stake).
void syncFolder(const std::string& folder, const std::string& path) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    throw DataFileError(path + ": replaced, but its folder " + folder +
                        " cannot be opened to sync it: " + std::strerror(errno));
  }
  if (fileSystemCalls().fsync(fd) != 0) {
    int error = errno;
    ::close(fd);
    throw DataFileError(path + ": replaced, but syncing its folder " + folder +
                        " failed: " + std::strerror(error));
  }
  ::close(fd);
}

}  // namespace

FileSystemCalls& fileSystemCalls() {
  static FileSystemCalls calls{::fsync, ::rename};
  return calls;
}

void ensureDirectory(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) throw DataFileError(path + ": cannot create folder: " + ec.message());
}

bool isTemporaryFileName(const std::string& name) {
  static const std::string kEnd = ".tmp";
  // "x." + six + ".tmp"
  if (name.size() < 2 + kSuffixLength + kEnd.size()) return false;
  if (name.compare(name.size() - kEnd.size(), kEnd.size(), kEnd) != 0) return false;
  const size_t suffix = name.size() - kEnd.size() - kSuffixLength;
  if (name[suffix - 1] != '.') return false;
  for (size_t i = suffix; i < suffix + kSuffixLength; ++i) {
    const char c = name[i];
    const bool alphanumeric = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alphanumeric) return false;
  }
  return true;
}

TemporaryFile::TemporaryFile(std::string target) : target_(std::move(target)) {
  ensureParentDirectory(target_);
  int error = 0;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = target_ + "." + randomSuffix() + ".tmp";
    // 0666 as an ordinary new file: the umask decides, and the renamed file keeps the
    // permissions a file written in place would have had.
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      name_ = std::move(name);
      fd_ = fd;
      return;
    }
    error = errno;
    if (error != EEXIST) break;
  }
  throw DataFileError(target_ + ": cannot create a temporary file beside it: " +
                      std::strerror(error));
}

TemporaryFile::~TemporaryFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!renamed_) ::unlink(name_.c_str());
}

namespace {

// A data file's writer that asks the kernel to start writing each 64 MiB to the disk as soon
// as it is written: the file's sync before its rename then finds most of it on the disk
// already, instead of waiting for all of it (a second per gigabyte here) after the work that
// made it. Only a start: nothing waits for it, and a file system without it just syncs later.
class WritebackBuffer : public FileDescriptorBuffer {
 public:
  explicit WritebackBuffer(int fd) : FileDescriptorBuffer(fd) {}

 protected:
  void wrote(size_t bytes) override {
    pending_ += bytes;
    if (pending_ < kWritebackStep) return;
    ::sync_file_range(fd(), static_cast<off64_t>(started_), static_cast<off64_t>(pending_),
                      SYNC_FILE_RANGE_WRITE);
    started_ += pending_;
    pending_ = 0;
  }

 private:
  static constexpr size_t kWritebackStep = size_t{64} << 20;
  size_t started_ = 0;  // bytes from the file's start whose writing has been started
  size_t pending_ = 0;  // bytes written after them
};

}  // namespace

void TemporaryFile::write(const std::function<void(std::ostream&)>& write) {
  if (fd_ < 0) throw DataFileError(target_ + ": its temporary file is already closed");
  WritebackBuffer buffer(fd_);
  std::ostream out(&buffer);
  write(out);
  out.flush();
  if (!out || buffer.error() != 0) {
    const int error = buffer.error();
    throw DataFileError(target_ + ": write failed" +
                        (error != 0 ? std::string(": ") + std::strerror(error) : std::string()));
  }
}

void TemporaryFile::writeByName(const std::function<void(const std::string& name)>& save) {
  if (fd_ < 0) throw DataFileError(target_ + ": its temporary file is already closed");
  save("/proc/self/fd/" + std::to_string(fd_));
}

void TemporaryFile::sync() {
  if (fd_ < 0) return;
  if (fileSystemCalls().fsync(fd_) != 0) {
    throw DataFileError(target_ + ": write failed: cannot sync " + name_ + ": " +
                        std::strerror(errno));
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    throw DataFileError(target_ + ": write failed on close: " + std::strerror(errno));
  }
}

bool TemporaryFile::replaceTarget() {
  if (fileSystemCalls().rename(name_.c_str(), target_.c_str()) != 0) return false;
  renamed_ = true;
  return true;
}

void writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write) {
  TemporaryFile file(path);
  file.write(write);
  file.sync();
  if (!file.replaceTarget()) {
    throw DataFileError(path + ": cannot replace with " + file.name() + ": " +
                        std::strerror(errno));
  }
  syncFolder(folderOf(path), path);
}

AtomicFileGroup::AtomicFileGroup() = default;
AtomicFileGroup::~AtomicFileGroup() = default;

TemporaryFile& AtomicFileGroup::add(const std::string& path) {
  for (const auto& file : files_) {
    if (file->target() == path) throw DataFileError(path + ": staged twice in one group of files");
  }
  if (committed_) throw DataFileError(path + ": staged after the group was committed");
  files_.push_back(std::make_unique<TemporaryFile>(path));
  return *files_.back();
}

void AtomicFileGroup::write(const std::string& path,
                            const std::function<void(std::ostream&)>& write) {
  add(path).write(write);
}

void AtomicFileGroup::writeByName(const std::string& path,
                                  const std::function<void(const std::string& name)>& save) {
  add(path).writeByName(save);
}

void AtomicFileGroup::commit() {
  namespace fs = std::filesystem;
  for (const auto& file : files_) file->sync();
  for (const auto& file : files_) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(file->name(), ec))) {
      throw DataFileError(file->target() + ": its temporary file " + file->name() +
                          " is missing or not a regular file; nothing replaced");
    }
    fs::file_status status = fs::symlink_status(file->target(), ec);
    if (fs::is_directory(status)) {
      throw DataFileError(file->target() + ": cannot replace a folder; nothing replaced");
    }
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status)) {
      throw DataFileError(file->target() + ": not a regular file; nothing replaced");
    }
  }
  std::string replaced;
  for (const auto& file : files_) {
    if (!file->replaceTarget()) {
      int error = errno;
      throw DataFileError(
          file->target() + ": cannot replace with " + file->name() + ": " + std::strerror(error) +
          (replaced.empty() ? "; nothing replaced" : "; already replaced:" + replaced));
    }
    replaced += " " + file->target();
  }
  committed_ = true;
  std::set<std::string> folders;
  for (const auto& file : files_) {
    const std::string folder = folderOf(file->target());
    if (folders.insert(folder).second) syncFolder(folder, file->target());
  }
}

}  // namespace newsclass
