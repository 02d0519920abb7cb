#include "base/staged_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errors.h"

namespace newsclass {
namespace {

std::mutex gLiveMutex;
std::set<std::string>& liveFolders() {
  static std::set<std::string> folders;
  return folders;
}

void removeQuietly(const std::string& folder) {
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

}  // namespace

StagedFolder::StagedFolder(std::string target, const std::vector<std::string>& carried)
    : target_(std::move(target)) {
  std::string pattern = (std::filesystem::path(target_) / ".newsclass-staged.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw DataFileError(target_ + ": cannot create a staging folder in it: " +
                        std::strerror(errno));
  }
  folder_ = pattern;
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    liveFolders().insert(folder_);
  }
  for (const std::string& name : carried) {
    const std::filesystem::path from = std::filesystem::path(target_) / name;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(from, ec)) continue;
    std::filesystem::copy_file(from, std::filesystem::path(folder_) / name, ec);
    if (ec) throw DataFileError(from.string() + ": cannot copy into " + folder_ + ": " + ec.message());
  }
}

StagedFolder::~StagedFolder() {
  if (!committed_) removeQuietly(folder_);
  std::lock_guard<std::mutex> lock(gLiveMutex);
  liveFolders().erase(folder_);
}

void StagedFolder::commit(const std::vector<std::string>& last) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && !isTemporaryFileName(name) &&
        std::find(last.begin(), last.end(), name) == last.end()) {
      names.push_back(name);
    }
  }
  if (ec) throw DataFileError(folder_ + ": cannot list: " + ec.message());
  std::sort(names.begin(), names.end());
  for (const std::string& name : last) {
    if (std::filesystem::is_regular_file(std::filesystem::path(folder_) / name, ec)) {
      names.push_back(name);
    }
  }
  std::string replaced;
  for (const std::string& name : names) {
    const std::string from = (std::filesystem::path(folder_) / name).string();
    const std::string to = (std::filesystem::path(target_) / name).string();
    if (fileSystemCalls().rename(from.c_str(), to.c_str()) != 0) {
      const std::string reason = std::strerror(errno);
      throw DataFileError(to + ": cannot replace it with " + from + ": " + reason +
                          (replaced.empty() ? " (no file was replaced)"
                                            : " (already replaced: " + replaced + ")"));
    }
    replaced += (replaced.empty() ? "" : ", ") + name;
  }
  committed_ = true;
  removeQuietly(folder_);
  const int fd = ::open(target_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = fd >= 0 && fileSystemCalls().fsync(fd) == 0;
  const int error = errno;
  if (fd >= 0) ::close(fd);
  if (!synced) {
    throw DataFileError(target_ + ": files replaced, but syncing the folder failed: " +
                        std::strerror(error));
  }
}

void StagedFolder::removeAllUncommitted() {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  for (const std::string& folder : liveFolders()) removeQuietly(folder);
}

}  // namespace newsclass
