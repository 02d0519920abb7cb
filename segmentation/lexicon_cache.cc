// Where the lexicon cache lives and when it is used, written or passed over.
#include "segmentation/lexicon_cache.h"

#include <sys/stat.h>
#include <xxhash.h>

#include "base/cache_location.h"
#include "base/errors.h"

namespace newsclass {

bool describeLexiconSource(const std::string& path, std::string_view bytes, LexiconSource& source) {
  struct stat status;
  if (!examineCacheSource(path, status, source.path)) return false;
  source.size = bytes.size();
  source.modifiedNs = modifiedNanoseconds(status);
  source.contentHash = XXH3_64bits(bytes.data(), bytes.size());
  return true;
}

std::string lexiconCacheFolder() { return cacheFolder("NEWSCLASS_LEXICON_CACHE"); }

std::string lexiconCacheFileName(const std::string& absolutePath) {
  return cacheFileName(absolutePath, ".lexicon");
}

LexiconLoad loadLexiconThroughCache(const std::string& path, std::string_view bytes,
                                    const std::string& cacheFolder, std::ostream* warnings) {
  LexiconSource source;
  if (cacheFolder.empty() || !describeLexiconSource(path, bytes, source)) {
    return {compileLexicon(bytes), LexiconCacheUse::kOff};
  }
  const std::string cacheFile = cacheFolder + "/" + lexiconCacheFileName(source.path);
  if (std::shared_ptr<const CompiledLexicon> cached = loadLexiconCache(cacheFile, source)) {
    return {std::move(cached), LexiconCacheUse::kLoaded};
  }
  std::shared_ptr<const CompiledLexicon> compiled = compileLexicon(bytes);
  // A list without entries is an error of its own (the segmenter does not start): nothing to
  // save.
  if (!compiled) return {nullptr, LexiconCacheUse::kOff};
  try {
    saveLexiconCache(cacheFile, source, *compiled);
  } catch (const DataFileError& error) {
    if (warnings != nullptr) {
      *warnings << error.what() << "; the lexicon cache is not saved\n";
    }
    return {std::move(compiled), LexiconCacheUse::kNotSaved};
  }
  return {std::move(compiled), LexiconCacheUse::kSaved};
}

}  // namespace newsclass
