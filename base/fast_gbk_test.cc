#include "base/fast_gbk.h"

#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"

namespace newsclass {
namespace {

// Texts with ASCII, Chinese, full-width punctuation, characters GBK lacks (Thai, Hangul,
// an emoji beyond the plane) and, for UTF-8, invalid bytes.
const char* const kUtf8Texts[] = {
    "",
    "plain ASCII 123",
    "中华人民共和国，“新闻”。",
    "\xE0\xB8\x81\xEA\xB0\x80 mixed 中 é €",
    "emoji \xF0\x9F\x98\x80 after 文",
    "bad \xFF byte 字",
    "cut \xE4\xB8",
    "overlong \xC0\xAF here",
};

TEST(FastGbkTest, Utf8ConversionEqualsIconv) {
  for (int round = 0; round < 2; ++round) {  // the second round answers from the table
    for (const char* text : kUtf8Texts) {
      EXPECT_EQ(utf8ToGbkFast(text), utf8ToGbk(text)) << text;
    }
  }
}

TEST(FastGbkTest, Utf16ConversionEqualsIconv) {
  std::string out = "left over";
  for (int round = 0; round < 2; ++round) {
    for (const char* text : kUtf8Texts) {
      std::u16string wide = utf8ToUtf16(text);
      utf16ToGbkInto(wide, out);
      EXPECT_EQ(out, utf16ToGbk(wide)) << text;
    }
  }
  // An unpaired surrogate.
  std::u16string lone = u"a\xD800z";
  utf16ToGbkInto(lone, out);
  EXPECT_EQ(out, utf16ToGbk(lone));
}

}  // namespace
}  // namespace newsclass
