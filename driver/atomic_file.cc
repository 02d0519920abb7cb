#include "driver/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "driver/errors.h"

namespace newsclass {
namespace {

constexpr int kNameAttempts = 100;

// Six letters or digits, different in every call and in every process: each call asks the
// system's random source, so forked children do not repeat their parent's names.
std::string randomSuffix() {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  uint64_t bits =
      (static_cast<uint64_t>(device()) << 32) ^ device() ^ static_cast<uint64_t>(::getpid());
  std::string suffix(6, 'A');
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

// Fills the existing file `temporary` through `write`. On any failure removes `temporary` and
// throws (DataFileError naming `path`, or whatever `write` threw).
void fillTemporaryFile(const std::string& path, const std::string& temporary,
                       const std::function<void(std::ostream&)>& write) {
  std::ofstream out;
  std::vector<char> buffer(1 << 16);
  out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  out.open(temporary, std::ios::binary | std::ios::trunc);
  if (!out) {
    int error = errno;
    std::remove(temporary.c_str());
    throw DataFileError(path + ": cannot open " + temporary + ": " + std::strerror(error));
  }
  try {
    write(out);
  } catch (...) {
    out.close();
    std::remove(temporary.c_str());
    throw;
  }
  out.flush();
  if (!out) {
    int error = errno;
    out.close();
    std::remove(temporary.c_str());
    throw DataFileError(path + ": write failed: " + std::strerror(error));
  }
  out.close();
  if (!out) {
    std::remove(temporary.c_str());
    throw DataFileError(path + ": write failed on close");
  }
}

}  // namespace

void ensureDirectory(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) throw DataFileError(path + ": cannot create folder: " + ec.message());
}

std::string createTemporaryFileFor(const std::string& path) {
  ensureParentDirectory(path);
  int error = 0;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = path + "." + randomSuffix() + ".tmp";
    // 0666 as an ordinary new file: the umask decides, and the renamed file keeps the
    // permissions a file written in place would have had.
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    error = errno;
    if (error != EEXIST) break;
  }
  throw DataFileError(path + ": cannot create a temporary file beside it: " + std::strerror(error));
}

void writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write) {
  const std::string temporary = createTemporaryFileFor(path);
  fillTemporaryFile(path, temporary, write);
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    std::remove(temporary.c_str());
    throw DataFileError(path + ": cannot replace with " + temporary + ": " + std::strerror(error));
  }
}

AtomicFileGroup::~AtomicFileGroup() {
  if (committed_) return;
  for (const Entry& entry : entries_) std::remove(entry.temporary.c_str());
}

std::string AtomicFileGroup::stage(const std::string& path) {
  for (const Entry& entry : entries_) {
    if (entry.target == path) throw DataFileError(path + ": staged twice in one group of files");
  }
  if (committed_) throw DataFileError(path + ": staged after the group was committed");
  entries_.push_back(Entry{path, createTemporaryFileFor(path)});
  return entries_.back().temporary;
}

void AtomicFileGroup::write(const std::string& path,
                            const std::function<void(std::ostream&)>& write) {
  const std::string temporary = stage(path);
  fillTemporaryFile(path, temporary, write);
}

void AtomicFileGroup::commit() {
  namespace fs = std::filesystem;
  for (const Entry& entry : entries_) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(entry.temporary, ec))) {
      throw DataFileError(entry.target + ": its temporary file " + entry.temporary +
                          " is missing or not a regular file; nothing replaced");
    }
    fs::file_status status = fs::symlink_status(entry.target, ec);
    if (fs::is_directory(status)) {
      throw DataFileError(entry.target + ": cannot replace a folder; nothing replaced");
    }
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status)) {
      throw DataFileError(entry.target + ": not a regular file; nothing replaced");
    }
  }
  std::string replaced;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (std::rename(entry.temporary.c_str(), entry.target.c_str()) != 0) {
      int error = errno;
      throw DataFileError(
          entry.target + ": cannot replace with " + entry.temporary + ": " + std::strerror(error) +
          (replaced.empty() ? "; nothing replaced" : "; already replaced:" + replaced));
    }
    replaced += " " + entry.target;
  }
  committed_ = true;
}

}  // namespace newsclass
