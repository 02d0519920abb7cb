// How the segmenter sees GBK text: one character at a time, each of a kind that decides how it
// is cut. A byte of 0x81 to 0xFE followed by a valid trail byte (0x40 to 0xFE, not 0x7F) is one
// two-byte character; any other byte of 0x80 or above is a stray byte, a one-byte word of its
// own, so that bad input never shifts the reading of the bytes after it.
#ifndef NEWSCLASS_SEGMENTATION_SEGMENTER_CHARS_H_
#define NEWSCLASS_SEGMENTATION_SEGMENTER_CHARS_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace newsclass {

enum class CharKind : uint8_t {
  kSpace,        // ASCII white space and the ideographic space: separates, is dropped
  kLetterDigit,  // ASCII and full-width letters and digits: runs of them stay one word
  kPunctuation,  // ASCII and full-width punctuation and symbols: each one a word of its own
  kHan,          // everything else of two bytes: the text the lexicon cuts
  kStray,        // a byte that starts no valid character: a word of its own
};

// The kind of each possible unit: a byte below 0x80 or a two-byte code (lead << 8 | trail).
const CharKind* charKindTable();

struct GbkChar {
  CharKind kind;
  uint8_t length;  // 1 or 2 bytes
  uint16_t code;   // the byte, or lead << 8 | trail
};

// Reads the character at `pos` (< text.size()).
inline GbkChar readGbkChar(std::string_view text, size_t pos, const CharKind* kinds) {
  unsigned char lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return {kinds[lead], 1, lead};
  if (lead != 0x80 && lead != 0xFF && pos + 1 < text.size()) {
    unsigned char trail = static_cast<unsigned char>(text[pos + 1]);
    if (trail >= 0x40 && trail != 0x7F && trail != 0xFF) {
      uint16_t code = static_cast<uint16_t>(lead << 8 | trail);
      return {kinds[code], 2, code};
    }
  }
  return {CharKind::kStray, 1, lead};
}

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_SEGMENTER_CHARS_H_
