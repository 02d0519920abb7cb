#include "segmentation/segmenter_chars.h"

#include <array>

namespace newsclass {
namespace {

constexpr uint16_t code(unsigned lead, unsigned trail) {
  return static_cast<uint16_t>(lead << 8 | trail);
}

void setRange(std::array<CharKind, 65536>& kinds, uint16_t first, uint16_t last, CharKind kind) {
  for (unsigned c = first; c <= last; ++c) kinds[c] = kind;
}

std::array<CharKind, 65536> buildKinds() {
  std::array<CharKind, 65536> kinds;
  kinds.fill(CharKind::kHan);

  // ASCII: control characters and symbols are punctuation.
  setRange(kinds, 0x00, 0x7F, CharKind::kPunctuation);
  setRange(kinds, '\t', '\r', CharKind::kSpace);
  kinds[' '] = CharKind::kSpace;
  setRange(kinds, '0', '9', CharKind::kLetterDigit);
  setRange(kinds, 'A', 'Z', CharKind::kLetterDigit);
  setRange(kinds, 'a', 'z', CharKind::kLetterDigit);

  // Row A1: the ideographic space, then punctuation and symbols. The iteration mark 々 and the
  // circle ○ that writes the digit zero in dates (二○○一年) belong to words.
  kinds[code(0xA1, 0xA1)] = CharKind::kSpace;
  setRange(kinds, code(0xA1, 0xA2), code(0xA1, 0xFE), CharKind::kPunctuation);
  kinds[code(0xA1, 0xA9)] = CharKind::kHan;
  kinds[code(0xA1, 0xF0)] = CharKind::kHan;
  // Row A2: numbering symbols (⒈ ⑴ ① ㈠ Ⅰ).
  setRange(kinds, code(0xA2, 0xA1), code(0xA2, 0xFE), CharKind::kPunctuation);
  // Row A3: full-width ASCII; its digits and letters join letter and digit runs.
  setRange(kinds, code(0xA3, 0xA1), code(0xA3, 0xFE), CharKind::kPunctuation);
  setRange(kinds, code(0xA3, 0xB0), code(0xA3, 0xB9), CharKind::kLetterDigit);
  setRange(kinds, code(0xA3, 0xC1), code(0xA3, 0xDA), CharKind::kLetterDigit);
  setRange(kinds, code(0xA3, 0xE1), code(0xA3, 0xFA), CharKind::kLetterDigit);
  // Rows A8 and A9 below A1: symbols, arrows, box drawing and small-form punctuation. The
  // ideographic zero 〇 belongs to words.
  setRange(kinds, code(0xA8, 0x40), code(0xA8, 0xA0), CharKind::kPunctuation);
  setRange(kinds, code(0xA9, 0x40), code(0xA9, 0xFE), CharKind::kPunctuation);
  kinds[code(0xA9, 0x96)] = CharKind::kHan;
  return kinds;
}

}  // namespace

const CharKind* charKindTable() {
  static const std::array<CharKind, 65536> kinds = buildKinds();
  return kinds.data();
}

}  // namespace newsclass
