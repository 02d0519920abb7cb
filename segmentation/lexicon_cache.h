// The lexicon cache: a compiled lexicon saved as a file of arrays, so that a run reads the trie
// in one go instead of parsing and compiling the word list again. The cache lives in the
// user's cache folder ($XDG_CACHE_HOME/newsclass, by default ~/.cache/newsclass), one file per
// word list named after the list's absolute path, so runs over different data folders share
// it. It is kept in the frame every cache has (base/cache_file.h) and stands for its word list
// only while the list's absolute path, size, modification time (nanoseconds) and content hash
// (XXH3, 64 bits), which make its key, are those it was saved with, and while the frame, the
// payload layout and the compile rules (kLexiconCompileRules) are those of this program;
// anything else, or a file that is cut off or damaged, is not used and is replaced by a fresh
// one. The byte layout is written down in docs/formats.md. NEWSCLASS_LEXICON_CACHE=off turns
// this cache off (and no other). User dictionaries are small and stay read from their text on
// every start.
#ifndef NEWSCLASS_SEGMENTATION_LEXICON_CACHE_H_
#define NEWSCLASS_SEGMENTATION_LEXICON_CACHE_H_

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "segmentation/compiled_lexicon.h"

namespace newsclass {

// The layout of the lexicon cache's payload.
inline constexpr uint32_t kLexiconCachePayloadVersion = 1;

// What a cache must match to stand for a word list.
struct LexiconSource {
  std::string path;          // absolute and lexically normal
  uint64_t size = 0;         // of the bytes read
  int64_t modifiedNs = 0;    // modification time, nanoseconds since the epoch
  uint64_t contentHash = 0;  // XXH3-64 of the bytes read, seed 0
};

// Describes the word list at `path` whose bytes, as read, are `bytes`. Returns false when the
// path is not a regular file that can be examined (a pipe has nothing a cache could match).
bool describeLexiconSource(const std::string& path, std::string_view bytes, LexiconSource& source);

// Saves `lexicon` compiled from `source` to `cacheFile`, atomically (a unique temporary file
// renamed over it), creating its folder when missing. Throws DataFileError naming the file when
// it cannot.
void saveLexiconCache(const std::string& cacheFile, const LexiconSource& source,
                      const CompiledLexicon& lexicon);

// The lexicon saved in `cacheFile`, or nullptr when the file is missing, unreadable, saved for
// another source, format or compile rules, or cut off or damaged (its frame, checksum, sizes,
// every index of the trie and every value are checked); `reason`, when given, then says why.
std::shared_ptr<CompiledLexicon> loadLexiconCache(const std::string& cacheFile,
                                                  const LexiconSource& source,
                                                  std::string* reason = nullptr);

// The cache folder the environment asks for: "" when NEWSCLASS_LEXICON_CACHE is "off", else
// $XDG_CACHE_HOME/newsclass when that is an absolute path, else $HOME/.cache/newsclass, else
// "" (no home).
std::string lexiconCacheFolder();

// The cache file name of a word list: its base name (letters, digits, '.', '_' and '-' kept,
// others made '_', at most 48 characters), '-', 16 hex digits of the XXH3-64 of its absolute
// path, then ".lexicon".
std::string lexiconCacheFileName(const std::string& absolutePath);

enum class LexiconCacheUse {
  kOff,       // no cache folder, or a word list that is not a regular file
  kLoaded,    // the cache was valid and used
  kSaved,     // compiled from the word list, and the cache (re)written
  kNotSaved,  // compiled from the word list; the cache could not be written (one warning)
};

struct LexiconLoad {
  std::shared_ptr<const CompiledLexicon> lexicon;  // nullptr when the list holds no entry
  LexiconCacheUse cacheUse = LexiconCacheUse::kOff;
};

// The compiled lexicon of the word list at `path`, whose bytes are `bytes`: from its cache in
// `cacheFolder` when that is valid, else compiled from `bytes` and saved there. An empty folder
// means no cache. A cache that cannot be written costs one line on `warnings` (when given) and
// nothing else.
LexiconLoad loadLexiconThroughCache(const std::string& path, std::string_view bytes,
                                    const std::string& cacheFolder, std::ostream* warnings);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_LEXICON_CACHE_H_
