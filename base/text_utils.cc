#include "base/text_utils.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace newsclass {
namespace {

// The second byte of a two-byte GBK character: 0x40-0x7E or 0x80-0xFE.
bool isGbkTrailByte(char byte) {
  const unsigned char c = static_cast<unsigned char>(byte);
  return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

}  // namespace

std::string formatInt(int32_t value) { return std::to_string(value); }

std::string formatDefaultDouble(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string formatSeconds(double seconds) { return formatDefaultDouble(seconds); }

std::string shortestDecimal(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string cutDecimals(double value, unsigned n) {
  std::string text = formatDefaultDouble(value);
  size_t point = text.find('.');
  if (point != std::string::npos && point + n < text.size()) text.resize(point + n);
  return text;
}

void trimInPlace(std::string& text, std::string_view characters) {
  size_t first = text.find_first_not_of(characters);
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(0, first);
  size_t last = text.find_last_not_of(characters);
  text.erase(last + 1);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return false;
  }
  return true;
}

bool containsIgnoringCase(std::string_view text, std::string_view part) {
  for (size_t at = 0; at + part.size() <= text.size(); ++at) {
    if (equalsIgnoringCase(text.substr(at, part.size()), part)) return true;
  }
  return false;
}

namespace {

// The number the whole of `text` spells, or nullopt (empty text, trailing bytes, out of range).
template <typename Number>
std::optional<Number> parseWhole(std::string_view text) {
  Number value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<int32_t> parseInt32(std::string_view text) { return parseWhole<int32_t>(text); }

std::optional<int64_t> parseInt64(std::string_view text) { return parseWhole<int64_t>(text); }

std::optional<double> parseDouble(std::string_view text) { return parseWhole<double>(text); }

int32_t atoiLike(std::string_view text) {
  std::string copy(text);
  return static_cast<int32_t>(std::atoi(copy.c_str()));
}

double atofLike(std::string_view text) {
  std::string copy(text);
  return std::atof(copy.c_str());
}

std::string gbkJsonString(std::string_view text) {
  std::string out = "\"";
  auto escape = [&out](unsigned char c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
    out += escaped;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < text.size() && isGbkTrailByte(text[i + 1])) {
      out += text[i];
      out += text[++i];
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || (c >= 0x81 && c <= 0xFE)) {
      // Control bytes and DEL are not JSON text. A lead byte without its trail byte would take
      // the next character along when converted or read back (a '\\' of an escape, say): it is
      // written as the code point of its own value, which reading model.json turns back into
      // the byte.
      escape(c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace newsclass

namespace newsclass {

std::string joinShortened(const std::vector<std::string>& items, size_t shown) {
  std::string text;
  const size_t listed = std::min(items.size(), shown);
  for (size_t i = 0; i < listed; ++i) {
    if (i > 0) text += ", ";
    text += items[i];
  }
  if (listed == items.size()) return text;
  std::string count = std::to_string(items.size() - listed);
  for (size_t at = count.size(); at > 3; at -= 3) count.insert(at - 3, ",");
  return (text.empty() ? "" : text + " ") + "... and " + count + " more";
}

}  // namespace newsclass
