#include "base/fast_gbk.h"

#include <cstdint>
#include <vector>

#include "base/encoding.h"

namespace newsclass {
namespace {

// GBK bytes of every Basic Multilingual Plane character, learnt on first use. An entry is
// byte count << 16 | first byte << 8 | last byte, or 0 while unknown.
class CharacterTable {
 public:
  CharacterTable() : entries_(0x10000, 0) {}

  // Appends the GBK bytes of `unit`; `learn` converts the one character when it is new.
  template <typename Learn>
  char* append(char32_t unit, char* write, Learn learn) {
    uint32_t entry = entries_[unit];
    if (entry == 0) {
      std::string bytes = learn();
      if (bytes.size() == 2) {
        entry = 2u << 16 | static_cast<uint32_t>(static_cast<unsigned char>(bytes[0])) << 8 |
                static_cast<unsigned char>(bytes[1]);
      } else {
        entry = 1u << 16 | static_cast<unsigned char>(bytes.size() == 1 ? bytes[0] : '?');
      }
      entries_[unit] = entry;
    }
    if (entry >> 16 == 2) *write++ = static_cast<char>((entry >> 8) & 0xFF);
    *write++ = static_cast<char>(entry & 0xFF);
    return write;
  }

 private:
  std::vector<uint32_t> entries_;
};

}  // namespace

void utf16ToGbkInto(std::u16string_view text, std::string& out) {
  thread_local CharacterTable table;
  out.resize(text.size() * 2);
  char* write = out.data();
  for (char16_t unit : text) {
    if (unit < 0x80) {
      *write++ = static_cast<char>(unit);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      // A character beyond the plane: the whole text as utf16ToGbk converts it.
      out = utf16ToGbk(text);
      return;
    } else {
      write = table.append(unit, write,
                           [unit] { return utf16ToGbk(std::u16string_view(&unit, 1)); });
    }
  }
  out.resize(static_cast<size_t>(write - out.data()));
}

std::string utf8ToGbkFast(std::string_view text) {
  thread_local CharacterTable table;
  std::string out(text.size() + 1, '\0');  // GBK never needs more bytes than UTF-8
  char* write = out.data();
  for (size_t i = 0; i < text.size();) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      *write++ = static_cast<char>(byte);
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    size_t length = decodeUtf8At(text, i, codePoint);
    if (length == 0) return utf8ToGbk(text);
    std::string_view character = text.substr(i, length);
    if (codePoint >= 0x10000) {
      std::string bytes = utf8ToGbk(character);
      for (char c : bytes) *write++ = c;
    } else {
      write = table.append(codePoint, write, [character] { return utf8ToGbk(character); });
    }
    i += length;
  }
  out.resize(static_cast<size_t>(write - out.data()));
  return out;
}

}  // namespace newsclass
