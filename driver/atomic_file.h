// Replaces files as a whole: content is written to a temporary file in the target's folder and
// renamed over the target only when every byte is on disk, so a crash or a full disk never leaves
// a half-written file where a good one stood. Each temporary file has a name of its own
// ("<name>.<six letters or digits>.tmp", created exclusively), so two processes, or two writers
// in one process, that replace the same target never write into each other's temporary file.
//
// AtomicFileGroup extends this to files that belong together (the training and testing vector
// files): every temporary file is written first, and the targets are replaced only when all of
// them are complete, so a failure in any of them leaves every target as it was.
#ifndef NEWSCLASS_DRIVER_ATOMIC_FILE_H_
#define NEWSCLASS_DRIVER_ATOMIC_FILE_H_

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace newsclass {

// Calls `write` with a binary stream on a fresh temporary file, then renames it over `path`.
// Creates the folder of `path` when missing. Throws DataFileError naming the file when it cannot
// be created, written or renamed; the target is then untouched and the temporary file removed.
// Whatever `write` throws is passed on after the same clean-up.
void writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write);

// Creates a folder and its parents when missing; throws DataFileError when it cannot.
void ensureDirectory(const std::string& path);

// Creates an empty file with a name of its own beside `path` ("<path>.XXXXXX.tmp", created with
// O_EXCL, permissions as an ordinary new file) and returns its name. Creates the folder of
// `path` when missing. Throws DataFileError naming `path` when it cannot.
std::string createTemporaryFileFor(const std::string& path);

// Files replaced together. stage() or write() each target, then commit(); a group destroyed
// without a successful commit() removes its temporary files and leaves every target alone.
//
//   AtomicFileGroup files;
//   files.write(trainingPath, writeTraining);
//   files.write(testingPath, writeTesting);
//   files.commit();
class AtomicFileGroup {
 public:
  AtomicFileGroup() = default;
  ~AtomicFileGroup();
  AtomicFileGroup(const AtomicFileGroup&) = delete;
  AtomicFileGroup& operator=(const AtomicFileGroup&) = delete;

  // Reserves a temporary file for `path` (see createTemporaryFileFor) and returns its name; the
  // caller fills it by any means, for example writeFileAtomically(name, ...) or a save function
  // that takes a path. Throws DataFileError when the file cannot be created or when `path`
  // already belongs to the group.
  std::string stage(const std::string& path);

  // stage(path), then writes the temporary file through `write`; throws as writeFileAtomically.
  void write(const std::string& path, const std::function<void(std::ostream&)>& write);

  // Checks that every temporary file is still a regular file and that no target is a folder
  // (or anything else rename cannot replace), and only then renames each temporary file over its
  // target, in the order staged. Throws DataFileError naming the file at fault; when a check
  // fails no target has changed. A rename failing after the checks passed (the folder vanished
  // or became read-only meanwhile) is reported naming the targets already replaced.
  void commit();

 private:
  struct Entry {
    std::string target;
    std::string temporary;
  };
  std::vector<Entry> entries_;
  bool committed_ = false;
};

}  // namespace newsclass

#endif  // NEWSCLASS_DRIVER_ATOMIC_FILE_H_
