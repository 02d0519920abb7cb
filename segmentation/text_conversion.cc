// Conversions between GBK and wide text for the tokenisers, and the blank trimming that every
// comparison of database text goes through.
#include "base/encoding.h"
#include "base/text_utils.h"
#include "processor/corpus_processor.h"

namespace newsclass {

void CorpusProcessor::trim(std::string& text, const std::string& characters) const {
  trimInPlace(text, characters);
}

std::wstring CorpusProcessor::toWideString(const std::string& text) const {
  std::wstring wide = gbkToWide(text);
  // Wide text ends at its first zero character, as a zero-terminated conversion result does.
  size_t zero = wide.find(L'\0');
  if (zero != std::wstring::npos) wide.resize(zero);
  return wide;
}

std::string CorpusProcessor::toNarrowString(const std::wstring& text) const {
  size_t zero = text.find(L'\0');
  return wideToGbk(zero == std::wstring::npos ? std::wstring_view(text)
                                              : std::wstring_view(text).substr(0, zero));
}

}  // namespace newsclass
