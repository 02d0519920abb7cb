// Replaces a file as a whole: the content is written to "<path>.tmp" in the same folder and
// renamed over the target only when every byte is on disk, so a crash or a full disk never leaves
// a half-written file where a good one stood.
#ifndef NEWSCLASS_DRIVER_ATOMIC_FILE_H_
#define NEWSCLASS_DRIVER_ATOMIC_FILE_H_

#include <functional>
#include <ostream>
#include <string>

namespace newsclass {

// Calls `write` with a binary stream on the temporary file, then renames it over `path`.
// Creates the folder of `path` when missing. Throws DataFileError naming the file when it cannot
// be created, written or renamed; the target is then untouched and the temporary file removed.
void writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write);

// Creates a folder and its parents when missing; throws DataFileError when it cannot.
void ensureDirectory(const std::string& path);

}  // namespace newsclass

#endif  // NEWSCLASS_DRIVER_ATOMIC_FILE_H_
