// Where the binary caches live (base/cache_file.h): the user's cache folder, one file per source
// named after the source's absolute path, so that runs over different data folders share it. Each
// kind of cache has its own switch, an environment variable that turns it off when it is "off".
#ifndef NEWSCLASS_BASE_CACHE_LOCATION_H_
#define NEWSCLASS_BASE_CACHE_LOCATION_H_

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace newsclass {

// The cache folder the environment asks for: "" when the variable `switchName` is "off", else
// $XDG_CACHE_HOME/newsclass when that is an absolute path, else $HOME/.cache/newsclass, else ""
// (no home).
std::string cacheFolder(const char* switchName);

// The cache file name of a source: its base name (letters, digits, '.', '_' and '-' kept,
// others made '_', at most 48 characters), '-', 16 hex digits of the XXH3-64 of its absolute
// path, then `extension` (".lexicon", say).
std::string cacheFileName(const std::string& absolutePath, std::string_view extension);

// Examines the source file at `path`: false unless it is a regular file whose absolute path can
// be formed. Fills `status` and `absolutePath` (absolute and lexically normal).
bool examineCacheSource(const std::string& path, struct stat& status, std::string& absolutePath);

// A file's modification time in nanoseconds since the epoch.
inline int64_t modifiedNanoseconds(const struct stat& status) {
  return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 +
         static_cast<int64_t>(status.st_mtim.tv_nsec);
}

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_CACHE_LOCATION_H_
