// Where the lexicon cache lives and when it is used, written or passed over.
#include "segmentation/lexicon_cache.h"

#include <sys/stat.h>
#include <xxhash.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/errors.h"

namespace newsclass {
namespace {

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

bool describeLexiconSource(const std::string& path, std::string_view bytes, LexiconSource& source) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return false;
  source.path = absolute.lexically_normal().string();
  source.size = bytes.size();
  source.modifiedNs = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 +
                      static_cast<int64_t>(status.st_mtim.tv_nsec);
  source.contentHash = XXH3_64bits(bytes.data(), bytes.size());
  return true;
}

std::string lexiconCacheFolder() {
  if (environmentValue("NEWSCLASS_LEXICON_CACHE") == "off") return "";
  // A relative XDG_CACHE_HOME is invalid and ignored, as the XDG base directory rules say.
  const std::string xdg = environmentValue("XDG_CACHE_HOME");
  if (!xdg.empty() && xdg.front() == '/') return xdg + "/newsclass";
  const std::string home = environmentValue("HOME");
  if (!home.empty()) return home + "/.cache/newsclass";
  return "";
}

std::string lexiconCacheFileName(const std::string& absolutePath) {
  std::string name = std::filesystem::path(absolutePath).filename().string();
  if (name.size() > 48) name.resize(48);
  for (char& c : name) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-';
    if (!kept) c = '_';
  }
  char hex[17];
  std::snprintf(
      hex, sizeof hex, "%016llx",
      static_cast<unsigned long long>(XXH3_64bits(absolutePath.data(), absolutePath.size())));
  return name + "-" + hex + ".lexicon";
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
