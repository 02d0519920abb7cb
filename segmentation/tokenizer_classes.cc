#include "segmentation/tokenizer_classes.h"

#include <memory>
#include <string>

#include "base/encoding.h"

namespace newsclass {

bool isTokenizerSpace(wchar_t c) {
  if (c < 0x80) return (c >= 0x09 && c <= 0x0D) || c == 0x20;
  switch (c) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

bool isTokenizerDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= 0xFF10 && c <= 0xFF19);
}

namespace {

// The class of one character whose GBK bytes are `bytes`, judged by converting them to wide
// text and back exactly as the tokeniser's conversions do.
GbkCharClass classify(const std::string& bytes) {
  std::wstring wide = gbkToWide(bytes);
  if (wide.size() != 1 || wide[0] == 0xFFFD || wide[0] == 0) return GbkCharClass::kUnclean;
  if (wideToGbk(wide) != bytes) return GbkCharClass::kUnclean;
  wchar_t c = wide[0];
  if (isTokenizerSpace(c) || c == L'|') return GbkCharClass::kSeparator;
  if (isTokenizerDigit(c)) return GbkCharClass::kDigit;
  return GbkCharClass::kOrdinary;
}

std::unique_ptr<GbkClassTables> buildTables() {
  auto tables = std::make_unique<GbkClassTables>();
  for (unsigned b = 0; b < 256; ++b) {
    if (b >= 0x81 && b <= 0xFE) {
      tables->single[b] = GbkCharClass::kLeadByte;
    } else {
      tables->single[b] = classify(std::string(1, static_cast<char>(b)));
    }
  }
  std::string pair(2, '\0');
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    pair[0] = static_cast<char>(lead);
    for (unsigned trail = 0; trail < 256; ++trail) {
      pair[1] = static_cast<char>(trail);
      tables->pair[(lead - 0x81) * 256 + trail] = classify(pair);
    }
  }
  return tables;
}

}  // namespace

const GbkClassTables& gbkClassTables() {
  static const std::unique_ptr<GbkClassTables> tables = buildTables();
  return *tables;
}

}  // namespace newsclass
