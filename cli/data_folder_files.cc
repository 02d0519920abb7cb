#include "cli/data_folder_files.h"

#include <sys/stat.h>

#include <filesystem>

#include "base/errors.h"

namespace newsclass {
namespace {

struct FileIdentity {
  dev_t device;
  ino_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file `path` names (through symbolic links); false when there is none.
bool identify(const std::string& path, FileIdentity& identity) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return false;
  identity = {status.st_dev, status.st_ino};
  return true;
}

}  // namespace

const std::vector<std::string>& dataFolderFileNames() {
  static const std::vector<std::string> kNames = {
      kCorpusDatabaseFile,
      std::string(kCorpusDatabaseFile) + "-journal",
      std::string(kCorpusDatabaseFile) + "-wal",
      std::string(kCorpusDatabaseFile) + "-shm",
      kDictionaryFile,
      kContingencyFile,
      kKeywordsFile,
      kTrainingVectorsFile,
      kTestingVectorsFile,
      kPredictionsFile,
      kLinearModelFile,
      kModelFactsFile,
      kDataFolderLockName};
  return kNames;
}

void refuseDataFolderOutput(const std::string& option, const std::string& path,
                            const std::string& folder, const std::vector<std::string>& inputs) {
  namespace fs = std::filesystem;
  FileIdentity target{};
  if (identify(path, target)) {
    for (const std::string& name : dataFolderFileNames()) {
      FileIdentity owned{};
      if (identify((fs::path(folder) / name).string(), owned) && owned == target) {
        throw UsageError(option + ": " + path + " is the data folder's " + name +
                         "; name another file");
      }
    }
    for (const std::string& input : inputs) {
      FileIdentity read{};
      if (identify(input, read) && read == target) {
        throw UsageError(option + ": " + path + " is the input file " + input +
                         "; name another file");
      }
    }
    return;
  }
  // A file yet to be written: refused when its folder is the data folder and its name one the
  // folder owns, since a later stage would write it there.
  const fs::path asked(path);
  FileIdentity parent{}, dataFolder{};
  const std::string parentPath = asked.has_parent_path() ? asked.parent_path().string() : ".";
  if (!identify(parentPath, parent) || !identify(folder, dataFolder) || !(parent == dataFolder)) {
    return;
  }
  for (const std::string& name : dataFolderFileNames()) {
    if (asked.filename() == name) {
      throw UsageError(option + ": " + path + " is the data folder's " + name +
                       "; name another file");
    }
  }
}

}  // namespace newsclass
