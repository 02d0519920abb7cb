// Conversions between GBK and wide text for the tokenisers. Both stop at the first zero
// character, as a conversion of zero-terminated text does.
#ifndef NEWSCLASS_SEGMENTATION_TEXT_CONVERSION_H_
#define NEWSCLASS_SEGMENTATION_TEXT_CONVERSION_H_

#include <string>

namespace newsclass {

std::wstring toWideString(const std::string& text);
std::string toNarrowString(const std::wstring& text);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_TEXT_CONVERSION_H_
