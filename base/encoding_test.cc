#include "base/encoding.h"

#include <gtest/gtest.h>

namespace newsclass {
namespace {

// "中文" in GBK and UTF-8.
const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";
const std::string kUtf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";

TEST(EncodingTest, GbkRoundTripsThroughWideText) {
  std::string gbkText = "abc " + kGbkChinese + " 2008\xC4\xEA";  // 2008年
  std::wstring wide = gbkToWide(gbkText);
  EXPECT_EQ(wide, L"abc \u4E2D\u6587 2008\u5E74");
  EXPECT_EQ(wideToGbk(wide), gbkText);
}

TEST(EncodingTest, GbkRoundTripsThroughUtf8AndUtf16) {
  EXPECT_EQ(gbkToUtf8(kGbkChinese), kUtf8Chinese);
  EXPECT_EQ(utf8ToGbk(kUtf8Chinese), kGbkChinese);
  std::u16string utf16 = gbkToUtf16(kGbkChinese);
  EXPECT_EQ(utf16, u"\u4E2D\u6587");
  EXPECT_EQ(utf16ToGbk(utf16), kGbkChinese);
  EXPECT_EQ(utf8ToUtf16(kUtf8Chinese), utf16);
}

TEST(EncodingTest, Utf16ToUtf8KeepsPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(utf16ToUtf8(u"HY000"), "HY000");
  EXPECT_EQ(utf16ToUtf8(u""), "");
  EXPECT_EQ(utf16ToUtf8(u"\u4E2D\u6587"), kUtf8Chinese);
  EXPECT_EQ(utf16ToUtf8(u"\u00E9\u20AC"), "\xC3\xA9\xE2\x82\xAC");
  // U+1F600 as the pair D83D DE00 is one four-byte character.
  EXPECT_EQ(utf16ToUtf8(u"a\U0001F600b"), "a\xF0\x9F\x98\x80" "b");
  const std::string replacement = "\xEF\xBF\xBD";
  // A high surrogate without its low half: before another character and at the very end.
  EXPECT_EQ(utf16ToUtf8(std::u16string{u'a', 0xD83D, u'b'}), "a" + replacement + "b");
  EXPECT_EQ(utf16ToUtf8(std::u16string{u'a', 0xD83D}), "a" + replacement);
  // A low surrogate alone, and two lone halves in the wrong order: one replacement each.
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xDE00, u'z'}), replacement + "z");
  EXPECT_EQ(utf16ToUtf8(std::u16string{0xDE00, 0xD83D}), replacement + replacement);

  // A long message converts whole, a pair that straddles a conversion window included.
  std::u16string longText(4095, u'\u4E2D');
  longText += u"\U0001F600";
  longText += std::u16string{0xDC00};
  std::string expected;
  for (int i = 0; i < 4095; ++i) expected += "\xE4\xB8\xAD";
  expected += "\xF0\x9F\x98\x80" + replacement;
  EXPECT_EQ(utf16ToUtf8(longText), expected);
}

TEST(EncodingTest, DecodeUtf8AtGivesLengthAndCodePoint) {
  char32_t c = 0;
  EXPECT_EQ(decodeUtf8At("a", 0, c), 1u);
  EXPECT_EQ(c, U'a');
  EXPECT_EQ(decodeUtf8At("x" + kUtf8Chinese, 1, c), 3u);
  EXPECT_EQ(c, U'\u4E2D');
  EXPECT_EQ(decodeUtf8At("\xF4\x8F\xBF\xBF", 0, c), 4u);
  EXPECT_EQ(c, U'\U0010FFFF');
  c = U'?';
  for (const std::string bad : {"\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xED\xA0\x80",
                                "\xF4\x90\x80\x80", "\xE4\xB8", "\xE4\x41\xAD", "\xFF"}) {
    EXPECT_EQ(decodeUtf8At(bad, 0, c), 0u) << bad.size();
  }
  EXPECT_EQ(c, U'?');  // left alone by every failure
}

TEST(EncodingTest, CharacterOutsideGbkBecomesQuestionMarkAndTheRestSurvives) {
  // U+1F600 (an emoji) and U+0E01 (Thai) have no GBK form.
  EXPECT_EQ(wideToGbk(L"a\U0001F600b\u0E01\u4E2D"), "a?b?\xD6\xD0");
  EXPECT_EQ(utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(utf16ToGbk(u"\u0E01z"), "?z");
}

TEST(EncodingTest, LongTextsWithManyUnconvertibleCharactersConvertWhole) {
  // Longer than one conversion window, so characters straddle window ends in every encoding.
  std::string utf8, expected;
  std::u16string utf16;
  std::wstring wide;
  for (int i = 0; i < 5000; ++i) {
    utf8 += "\xE4\xB8\xAD\xF0\x9F\x98\x80";  // 中 and an emoji
    utf16 += u"\u4E2D\U0001F600";
    wide += L"\u4E2D\U0001F600";
    expected += "\xD6\xD0?";
  }
  // Compared as booleans: a mismatch would print 20,000 bytes.
  EXPECT_TRUE(utf8ToGbk(utf8) == expected);
  EXPECT_TRUE(utf16ToGbk(utf16) == expected);
  EXPECT_TRUE(wideToGbk(wide) == expected);
}

TEST(EncodingTest, InvalidGbkBytesBecomeReplacementCharacters) {
  // 0xFF is never a GBK byte; 0x81 at the end has no trail byte.
  std::wstring wide = gbkToWide("a\xFF" + kGbkChinese + "\x81");
  EXPECT_EQ(wide, L"a\uFFFD\u4E2D\u6587\uFFFD");
  EXPECT_EQ(gbkToUtf8("\xFFz"), "\xEF\xBF\xBDz");
}

TEST(EncodingTest, EuroSignOfCodePage936) {
  EXPECT_EQ(gbkToWide("\x80"), L"\u20AC");
  EXPECT_EQ(wideToGbk(L"\u20AC"), "\x80");
}

TEST(EncodingTest, EmptyAndAsciiTextPassThrough) {
  EXPECT_EQ(gbkToWide(""), L"");
  EXPECT_EQ(wideToGbk(L""), "");
  EXPECT_EQ(gbkToUtf8("plain\ttext\n"), "plain\ttext\n");
  EXPECT_EQ(gbkToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(EncodingTest, Utf8Validation) {
  EXPECT_TRUE(isValidUtf8("ascii"));
  EXPECT_TRUE(isValidUtf8(kUtf8Chinese));
  EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8(kGbkChinese));
  EXPECT_FALSE(isValidUtf8("\xE4\xB8"));          // cut off
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
}

TEST(EncodingTest, OffsetsOfTheFirstInvalidByte) {
  constexpr size_t kValid = std::string_view::npos;
  EXPECT_EQ(invalidUtf8Offset("ab" + kUtf8Chinese), kValid);
  EXPECT_EQ(invalidUtf8Offset("ab" + kUtf8Chinese + "\xE4\xB8"), 2 + kUtf8Chinese.size());
  EXPECT_EQ(invalidUtf8Offset("x\xC0\xAF"), 1u);
  EXPECT_EQ(invalidUtf8Offset("xy" + kGbkChinese), 2u);

  EXPECT_EQ(invalidGbkOffset("ab" + kGbkChinese + "\x80"), kValid);  // 0x80 is the euro sign
  EXPECT_EQ(invalidGbkOffset(""), kValid);
  EXPECT_EQ(invalidGbkOffset("a" + kGbkChinese + "\xFF"), 1 + kGbkChinese.size());
  EXPECT_EQ(invalidGbkOffset("ab\x81"), 2u);     // lead byte cut off at the end
  EXPECT_EQ(invalidGbkOffset("ab\x81\t"), 2u);   // lead byte before a tab
  EXPECT_EQ(invalidGbkOffset(kGbkChinese + "\x81\x7F"), kGbkChinese.size());
  // A long text is checked whole, not just its first conversion buffer.
  EXPECT_EQ(invalidGbkOffset(std::string(10000, 'a') + kGbkChinese + std::string(5000, 'b') +
                             "\xFF"),
            15000 + kGbkChinese.size());
  std::string longChinese;
  for (int i = 0; i < 5000; ++i) longChinese += kGbkChinese;
  EXPECT_EQ(invalidGbkOffset(longChinese + "\xFF"), longChinese.size());
}

TEST(EncodingTest, UserTextIsReadAsUtf8WhenValidElseAsGbk) {
  EXPECT_EQ(userTextToGbk(kUtf8Chinese), kGbkChinese);
  EXPECT_EQ(userTextToGbk(kGbkChinese), kGbkChinese);
  EXPECT_EQ(userTextToGbk("\xEF\xBB\xBF" + kUtf8Chinese), kGbkChinese);
  EXPECT_EQ(userTextToGbk("ascii only"), "ascii only");
}

}  // namespace
}  // namespace newsclass
