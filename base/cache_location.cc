#include "base/cache_location.h"

#include <xxhash.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace newsclass {
namespace {

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string cacheFolder(const char* switchName) {
  if (environmentValue(switchName) == "off") return "";
  // A relative XDG_CACHE_HOME is invalid and ignored, as the XDG base directory rules say.
  const std::string xdg = environmentValue("XDG_CACHE_HOME");
  if (!xdg.empty() && xdg.front() == '/') return xdg + "/newsclass";
  const std::string home = environmentValue("HOME");
  if (!home.empty()) return home + "/.cache/newsclass";
  return "";
}

std::string cacheFileName(const std::string& absolutePath, std::string_view extension) {
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
  return name + "-" + hex + std::string(extension);
}

bool examineCacheSource(const std::string& path, struct stat& status, std::string& absolutePath) {
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return false;
  absolutePath = absolute.lexically_normal().string();
  return true;
}

}  // namespace newsclass
