// The two character classes of tokenisation, white space and digits, and the GBK byte tables
// that let the tokeniser apply them without converting text to wide characters.
//
// The classes are written out explicitly instead of taken from a locale, so that tokenisation
// gives the same words whatever locale the process runs in:
// - white space: the Unicode White_Space characters, that is U+0009 to U+000D, U+0020, U+0085,
//   U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F and U+3000 (the ideographic
//   space that indents Chinese paragraphs);
// - digits: ASCII 0 to 9 and the full-width digits U+FF10 to U+FF19.
// Of the white space, only the ASCII characters and U+3000 (GBK A1 A1) occur in GBK text; of the
// digits, ASCII and the full-width ones (GBK A3 B0 to A3 B9).
#ifndef NEWSCLASS_SEGMENTATION_TOKENIZER_CLASSES_H_
#define NEWSCLASS_SEGMENTATION_TOKENIZER_CLASSES_H_

#include <array>
#include <cstdint>

namespace newsclass {

// Regular-expression sets of the two classes, for Boost.Regex on wide text.
inline constexpr const wchar_t* kWhiteSpaceSet =
    L"[\\x{09}-\\x{0D}\\x{20}\\x{85}\\x{A0}\\x{1680}\\x{2000}-\\x{200A}\\x{2028}\\x{2029}"
    L"\\x{202F}\\x{205F}\\x{3000}]";
inline constexpr const wchar_t* kDigitSet = L"[0-9\\x{FF10}-\\x{FF19}]";

bool isTokenizerSpace(wchar_t c);
bool isTokenizerDigit(wchar_t c);

// What a GBK character is to the tokeniser.
enum class GbkCharClass : uint8_t {
  kOrdinary,   // kept; converting it to wide text and back gives the same bytes
  kSeparator,  // white space or "|": ends a word
  kDigit,      // removed
  kLeadByte,   // first byte of a two-byte character: look the pair up
  kUnclean,    // not valid GBK, or not the same bytes after a round trip through wide text
};

// Per-byte and per-pair classes, derived once from the process's GBK conversion so that they
// agree with it byte for byte.
struct GbkClassTables {
  std::array<GbkCharClass, 256> single;
  // Indexed by (lead - 0x81) * 256 + trail for leads 0x81 to 0xFE.
  std::array<GbkCharClass, 126 * 256> pair;

  GbkCharClass pairClass(unsigned char lead, unsigned char trail) const {
    return pair[static_cast<unsigned>(lead - 0x81) * 256 + trail];
  }
};

const GbkClassTables& gbkClassTables();

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_TOKENIZER_CLASSES_H_
