// Conversions to GBK for long texts: the same results as utf16ToGbk and utf8ToGbk
// (base/encoding.h), at the cost of one table look-up per character. Each character's GBK
// bytes are asked of the iconv-based conversion once and remembered for the life of the thread;
// a corpus uses a few thousand distinct characters, while converting a whole text through iconv
// costs far more, above all when some characters have no GBK form.
#ifndef NEWSCLASS_BASE_FAST_GBK_H_
#define NEWSCLASS_BASE_FAST_GBK_H_

#include <string>
#include <string_view>

namespace newsclass {

// UTF-16 to GBK into `out` (replacing its content); exactly utf16ToGbk(text).
void utf16ToGbkInto(std::u16string_view text, std::string& out);

// UTF-8 to GBK; exactly utf8ToGbk(text). Fast for valid UTF-8; other input goes through
// utf8ToGbk whole.
std::string utf8ToGbkFast(std::string_view text);

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_FAST_GBK_H_
