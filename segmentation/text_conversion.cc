#include "segmentation/text_conversion.h"

#include <string_view>

#include "base/encoding.h"

namespace newsclass {

std::wstring toWideString(const std::string& text) {
  std::wstring wide = gbkToWide(text);
  // Wide text ends at its first zero character, as a zero-terminated conversion result does.
  size_t zero = wide.find(L'\0');
  if (zero != std::wstring::npos) wide.resize(zero);
  return wide;
}

std::string toNarrowString(const std::wstring& text) {
  size_t zero = text.find(L'\0');
  return wideToGbk(zero == std::wstring::npos ? std::wstring_view(text)
                                              : std::wstring_view(text).substr(0, zero));
}

}  // namespace newsclass
