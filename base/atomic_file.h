// Replaces files as a whole and durably: content is written to a temporary file in the target's
// folder through the descriptor that created it, flushed and fsynced, and only then renamed over
// the target; the folder is fsynced after the rename, so that the new name survives a power cut
// too (the order SQLite and LevelDB use). A crash, a full disk or a failing fsync therefore never
// leaves a half-written or empty file where a good one stood. Each temporary file has a name of
// its own ("<name>.<six letters or digits>.tmp", created exclusively, never through a symbolic
// link), so two processes, or two writers in one process, that replace the same target never
// write into each other's temporary file. A temporary file is never reopened by name: whatever
// fills it writes through its descriptor.
//
// AtomicFileGroup extends this to files that belong together (the training and testing vector
// files): every temporary file is written and fsynced first, the targets are replaced only when
// all of them are complete, and each folder involved is fsynced once at the end, so a failure in
// any of them leaves every target as it was.
#ifndef NEWSCLASS_BASE_ATOMIC_FILE_H_
#define NEWSCLASS_BASE_ATOMIC_FILE_H_

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace newsclass {

// The system calls that make a replacement durable. Every writer goes through these pointers, so
// that a test can watch the calls (which descriptor is synced, in which order) or make one fail.
struct FileSystemCalls {
  int (*fsync)(int fd);
  int (*rename)(const char* from, const char* to);
};
// The calls in use; the system's own unless a test replaced them.
FileSystemCalls& fileSystemCalls();

// Calls `write` with a binary stream on a fresh temporary file, then fsyncs it, renames it over
// `path` and fsyncs the folder. Creates the folder of `path` when missing. Throws DataFileError
// naming the file when it cannot be created, written, synced or renamed; the target is then
// untouched and the temporary file removed. Whatever `write` throws is passed on after the same
// clean-up. A failing fsync of the folder after the rename is reported too (the target has
// then been replaced, but the replacement may not survive a power cut).
void writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write);

// Creates a folder and its parents when missing; throws DataFileError when it cannot.
void ensureDirectory(const std::string& path);

// True for a name that a temporary file of this module has: "<something>.XXXXXX.tmp" with
// exactly six ASCII letters or digits between the last two dots and something non-empty before.
bool isTemporaryFileName(const std::string& name);

// A temporary file beside a target, open for writing: "<target>.XXXXXX.tmp", created with
// O_EXCL | O_NOFOLLOW, permissions as an ordinary new file. Closed and removed when destroyed,
// unless it was renamed over its target.
class TemporaryFile {
 public:
  // Creates the file (and the folder of `target` when missing). Throws DataFileError naming
  // `target` when it cannot.
  explicit TemporaryFile(std::string target);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& target() const { return target_; }
  const std::string& name() const { return name_; }

  // Writes the file through its descriptor with `write`; throws DataFileError naming the target
  // when a write fails, or passes on what `write` threw.
  void write(const std::function<void(std::ostream&)>& write);
  // For a save function that only takes a file name: calls `save` with "/proc/self/fd/N", a name
  // that opens this file's own inode whatever happens to its name meanwhile. `save` reports its
  // own failures by throwing.
  void writeByName(const std::function<void(const std::string& name)>& save);
  // fsyncs and closes the file; DataFileError naming the target when either fails.
  void sync();
  // Renames the file over its target; false with errno set when rename failed.
  bool replaceTarget();

 private:
  std::string target_;
  std::string name_;
  int fd_ = -1;
  bool renamed_ = false;
};

// Files replaced together. write() each target, then commit(); a group destroyed without a
// successful commit() removes its temporary files and leaves every target alone.
//
//   AtomicFileGroup files;
//   files.write(trainingPath, writeTraining);
//   files.write(testingPath, writeTesting);
//   files.commit();
class AtomicFileGroup {
 public:
  AtomicFileGroup();
  ~AtomicFileGroup();
  AtomicFileGroup(const AtomicFileGroup&) = delete;
  AtomicFileGroup& operator=(const AtomicFileGroup&) = delete;

  // Writes a fresh temporary file for `path` through `write`. Throws as writeFileAtomically, and
  // DataFileError when `path` already belongs to the group.
  void write(const std::string& path, const std::function<void(std::ostream&)>& write);
  // The same for a save function that only takes a file name (see TemporaryFile::writeByName).
  void writeByName(const std::string& path,
                   const std::function<void(const std::string& name)>& save);

  // fsyncs every temporary file, checks that each is still a regular file and that no target is
  // a folder (or anything else rename cannot replace), and only then renames each temporary file
  // over its target, in the order written, and fsyncs each folder involved once. Throws
  // DataFileError naming the file at fault; when a sync or a check fails no target has changed.
  // A rename failing after the checks passed (the folder vanished or became read-only
  // meanwhile) is reported naming the targets already replaced.
  void commit();

 private:
  TemporaryFile& add(const std::string& path);

  std::vector<std::unique_ptr<TemporaryFile>> files_;
  bool committed_ = false;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_ATOMIC_FILE_H_
