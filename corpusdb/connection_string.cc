#include "corpusdb/connection_string.h"

#include "corpusdb/odbc_connection.h"

namespace newsclass {
namespace {

bool sameKey(const std::string& key, const char* name) {
  size_t i = 0;
  for (; i < key.size() && name[i] != '\0'; ++i) {
    unsigned char a = key[i], b = name[i];
    if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
    if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
    if (a != b) return false;
  }
  return i == key.size() && name[i] == '\0';
}

bool isSecretKey(const std::string& key) { return sameKey(key, "PWD") || sameKey(key, "Password"); }

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
    if (sameKey(attribute.key, "Driver")) {
      sqlite = sameKey(attribute.value, "SQLite3") || sameKey(attribute.value, "SQLite");
    }
  }
  return sqlite;
}

}  // namespace

std::string driverConnectionString(const std::string& connectionString) {
  std::vector<ConnectionAttribute> attributes = parseConnectionString(connectionString);
  if (!isSqliteDriver(attributes)) return connectionString;
  for (const ConnectionAttribute& attribute : attributes) {
    if (sameKey(attribute.key, "StepAPI")) return connectionString;
  }
  std::string text = connectionString;
  if (!text.empty() && text.back() != ';') text += ';';
  return text + "StepAPI=1";
}

std::optional<std::string> sqliteDatabaseFile(const std::string& connectionString) {
  std::vector<ConnectionAttribute> attributes = parseConnectionString(connectionString);
  std::optional<std::string> database;
  for (const ConnectionAttribute& attribute : attributes) {
    if (sameKey(attribute.key, "Database")) database = attribute.value;
  }
  if (!isSqliteDriver(attributes) || !database || database->empty() || *database == ":memory:") return std::nullopt;
  return database;
}

}  // namespace newsclass
