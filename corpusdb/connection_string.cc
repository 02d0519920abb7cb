#include "corpusdb/connection_string.h"

#include <algorithm>

#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"

namespace newsclass {
namespace {

bool isSecretKey(const std::string& key) {
  return equalsIgnoringCase(key, "PWD") || equalsIgnoringCase(key, "Password");
}

std::string trimBlanks(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::vector<ConnectionAttribute> parseConnectionString(const std::string& text) {
  std::vector<ConnectionAttribute> attributes;
  size_t at = 0;
  while (at < text.size()) {
    size_t equals = text.find('=', at);
    size_t semicolon = text.find(';', at);
    if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
      // An attribute without "=": nothing to read in it.
      if (semicolon == std::string::npos) break;
      at = semicolon + 1;
      continue;
    }
    ConnectionAttribute attribute;
    attribute.key = trimBlanks(text.substr(at, equals - at));
    size_t valueAt = equals + 1;
    while (valueAt < text.size() && (text[valueAt] == ' ' || text[valueAt] == '\t')) ++valueAt;
    attribute.valueBegin = valueAt;
    if (valueAt < text.size() && text[valueAt] == '{') {
      size_t i = valueAt + 1;
      for (; i < text.size(); ++i) {
        if (text[i] == '}') {
          if (i + 1 < text.size() && text[i + 1] == '}') {
            attribute.value += '}';
            ++i;
          } else {
            break;
          }
        } else {
          attribute.value += text[i];
        }
      }
      attribute.valueEnd = i < text.size() ? i + 1 : text.size();
      size_t next = text.find(';', attribute.valueEnd);
      at = next == std::string::npos ? text.size() : next + 1;
    } else {
      size_t end = semicolon == std::string::npos ? text.size() : semicolon;
      attribute.valueEnd = end;
      attribute.value = trimBlanks(text.substr(valueAt, end - valueAt));
      at = end == text.size() ? end : end + 1;
    }
    attributes.push_back(std::move(attribute));
  }
  return attributes;
}

std::string maskConnectionString(const std::string& connectionString) {
  std::string masked;
  size_t copied = 0;
  for (const ConnectionAttribute& attribute : parseConnectionString(connectionString)) {
    if (!isSecretKey(attribute.key)) continue;
    masked.append(connectionString, copied, attribute.valueBegin - copied);
    masked += "***";
    copied = attribute.valueEnd;
  }
  masked.append(connectionString, copied, std::string::npos);
  return masked;
}

std::vector<std::string> connectionSecrets(const std::string& connectionString) {
  std::vector<std::string> secrets;
  for (const ConnectionAttribute& attribute : parseConnectionString(connectionString)) {
    if (!isSecretKey(attribute.key)) continue;
    std::string written = connectionString.substr(attribute.valueBegin,
                                                  attribute.valueEnd - attribute.valueBegin);
    // The longer form first, so that the braced text goes as a whole.
    if (written != attribute.value) secrets.push_back(written);
    secrets.push_back(attribute.value);
  }
  return secrets;
}

namespace {

bool isSqliteDriver(const std::vector<ConnectionAttribute>& attributes) {
  bool sqlite = false;
  for (const ConnectionAttribute& attribute : attributes) {
    if (equalsIgnoringCase(attribute.key, "Driver")) {
      sqlite = equalsIgnoringCase(attribute.value, "SQLite3") ||
               equalsIgnoringCase(attribute.value, "SQLite");
    }
  }
  return sqlite;
}

bool hasKey(const std::vector<ConnectionAttribute>& attributes, const char* key) {
  for (const ConnectionAttribute& attribute : attributes) {
    if (equalsIgnoringCase(attribute.key, key)) return true;
  }
  return false;
}

std::string withAttribute(std::string text, const std::string& attribute) {
  if (!text.empty() && text.back() != ';') text += ';';
  return text + attribute;
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
  return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// The path a SQLite "file:" URI names: the authority and the query are dropped, %HH decoded.
std::string uriPath(const std::string& uri) {
  std::string path = uri.substr(5);
  if (path.starts_with("//")) {
    size_t slash = path.find('/', 2);
    path = slash == std::string::npos ? std::string() : path.substr(slash);
  }
  path = path.substr(0, path.find_first_of("?#"));
  std::string decoded;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && isHexDigit(path[i + 1]) &&
        isHexDigit(path[i + 2])) {
      decoded += static_cast<char>(hexValue(path[i + 1]) * 16 + hexValue(path[i + 2]));
      i += 2;
    } else {
      decoded += path[i];
    }
  }
  return decoded;
}

// True when a path cannot stand as a plain Database= value: the SQLite driver splits its
// connection string at every ";" (braces do not protect it), drops blanks around a value, and
// takes a value starting with "file:" as a URI. It also fails to open a plain path holding
// bytes beyond ASCII (it converts the name from the locale's character set first), while the URI
// form reaches SQLite's own UTF-8 file names byte for byte.
bool needsUri(const std::string& path) {
  const bool beyondAscii = std::any_of(path.begin(), path.end(),
                                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  return beyondAscii || path.find_first_of(";{}") != std::string::npos || path.starts_with("file:") ||
         (!path.empty() && (path.front() == ' ' || path.front() == '\t' ||
                            path.back() == ' ' || path.back() == '\t'));
}

}  // namespace

std::string sqliteConnectionString(const std::string& databasePath) {
  if (!needsUri(databasePath)) return "Driver=SQLite3;Database=" + databasePath;
  // A "file:" URI with every byte but letters, digits and "/._~-" written as %HH, which the
  // driver hands to SQLite to decode.
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = databasePath.starts_with("/") ? "file://" : "file:";
  for (unsigned char c : databasePath) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '_' ||
                       c == '~' || c == '-';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  return "Driver=SQLite3;Database=" + uri;
}

std::string withSqliteTimeout(const std::string& connectionString, int milliseconds) {
  std::vector<ConnectionAttribute> attributes = parseConnectionString(connectionString);
  if (!isSqliteDriver(attributes) || hasKey(attributes, "Timeout")) return connectionString;
  return withAttribute(connectionString, "Timeout=" + std::to_string(milliseconds));
}

std::string driverConnectionString(const std::string& connectionString) {
  std::vector<ConnectionAttribute> attributes = parseConnectionString(connectionString);
  if (!isSqliteDriver(attributes)) return connectionString;
  std::string text = connectionString;
  if (!hasKey(attributes, "StepAPI")) text = withAttribute(text, "StepAPI=1");
  if (!hasKey(attributes, "Timeout")) {
    text = withAttribute(text, "Timeout=" + std::to_string(kDefaultSqliteTimeoutMilliseconds));
  }
  return text;
}

std::optional<std::string> sqliteDatabaseFile(const std::string& connectionString) {
  std::vector<ConnectionAttribute> attributes = parseConnectionString(connectionString);
  std::optional<std::string> database;
  for (const ConnectionAttribute& attribute : attributes) {
    if (equalsIgnoringCase(attribute.key, "Database")) database = attribute.value;
  }
  if (!isSqliteDriver(attributes) || !database || database->empty() || *database == ":memory:") {
    return std::nullopt;
  }
  if (database->starts_with("file:")) {
    std::string path = uriPath(*database);
    if (path.empty() || path == ":memory:" || database->find("mode=memory") != std::string::npos) {
      return std::nullopt;
    }
    return path;
  }
  return database;
}

}  // namespace newsclass
