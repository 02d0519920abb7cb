#include "base/text_utils.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "processor/corpus_processor.h"

namespace newsclass {
namespace {

TEST(TextUtilsTest, DoubleToStringKeepsThePointAndNMinusOneDigits) {
  Environment environment;
  CorpusProcessor processor(1, 6000, environment);
  EXPECT_EQ(processor.doubleToString(3.14159, 3), "3.14");
  EXPECT_EQ(processor.doubleToString(2.5, 3), "2.5");
  EXPECT_EQ(processor.doubleToString(7, 3), "7");
  EXPECT_EQ(processor.doubleToString(1234567.0, 3), "1.23");  // "1.23457e+06" cut after the point
  EXPECT_EQ(processor.doubleToString(0.5, 0), "0");
  EXPECT_EQ(processor.doubleToString(-0.125, 2), "-0.1");
}

TEST(TextUtilsTest, IntToStringAsAStreamWritesIt) {
  Environment environment;
  CorpusProcessor processor(1, 6000, environment);
  EXPECT_EQ(processor.intToString(0), "0");
  EXPECT_EQ(processor.intToString(-42), "-42");
  EXPECT_EQ(processor.intToString(2147483647), "2147483647");
}

TEST(TextUtilsTest, SecondsUseTheDefaultStreamFormat) {
  EXPECT_EQ(formatSeconds(0.015), "0.015");
  EXPECT_EQ(formatSeconds(0), "0");
  EXPECT_EQ(formatSeconds(12.3456789), "12.3457");
  EXPECT_EQ(formatSeconds(1234567.0), "1.23457e+06");
}

TEST(TextUtilsTest, TrimRemovesOnlyTheGivenCharactersAtBothEnds) {
  Environment environment;
  CorpusProcessor processor(1, 6000, environment);
  std::string text = "  history  ";
  processor.trim(text, " ");
  EXPECT_EQ(text, "history");
  text = "\thistory \n";
  processor.trim(text, " ");
  EXPECT_EQ(text, "\thistory \n");  // tabs and line ends stay
  text = "    ";
  processor.trim(text, " ");
  EXPECT_EQ(text, "");
  text = " a b ";
  processor.trim(text, " ");
  EXPECT_EQ(text, "a b");
  text = "";
  processor.trim(text, " ");
  EXPECT_EQ(text, "");
}

TEST(TextUtilsTest, CaseIsIgnoredForAsciiLettersOnly) {
  EXPECT_TRUE(equalsIgnoringCase("PWD", "pwd"));
  EXPECT_TRUE(equalsIgnoringCase("Utf-8", "UTF-8"));
  EXPECT_TRUE(equalsIgnoringCase("", ""));
  EXPECT_FALSE(equalsIgnoringCase("PWD", "PWD "));
  EXPECT_FALSE(equalsIgnoringCase("Password", "PWD"));
  // '@' and '`' sit next to 'A' and 'a'; '[' and '{' next to 'Z' and 'z': none is a letter.
  EXPECT_FALSE(equalsIgnoringCase("@", "`"));
  EXPECT_FALSE(equalsIgnoringCase("[", "{"));
  // Bytes past ASCII (GBK, UTF-8) compare exactly.
  EXPECT_TRUE(equalsIgnoringCase("\xC0\xFA", "\xC0\xFA"));
  EXPECT_FALSE(equalsIgnoringCase("\xC0", "\xE0"));

  EXPECT_TRUE(containsIgnoringCase("libsqlite3odbc.so", "SQLite"));
  EXPECT_TRUE(containsIgnoringCase("SQLITE", "sqlite"));
  EXPECT_TRUE(containsIgnoringCase("anything", ""));
  EXPECT_FALSE(containsIgnoringCase("sqlit", "sqlite"));
  EXPECT_FALSE(containsIgnoringCase("psqlodbcw.so", "sqlite"));
}

TEST(TextUtilsTest, WholeTokenParsesRejectTrailingText) {
  EXPECT_EQ(parseInt32("123"), 123);
  EXPECT_EQ(parseInt32("-7"), -7);
  EXPECT_FALSE(parseInt32("12a"));
  EXPECT_FALSE(parseInt32(""));
  EXPECT_FALSE(parseInt32("99999999999"));
  EXPECT_EQ(parseDouble("1e-06"), 1e-06);
  EXPECT_FALSE(parseDouble("1.5x"));
}

TEST(TextUtilsTest, CLibraryParsesStopAtTheFirstOtherCharacter) {
  EXPECT_EQ(atoiLike("  42abc"), 42);
  EXPECT_EQ(atoiLike("-3"), -3);
  EXPECT_EQ(atoiLike("abc"), 0);
  EXPECT_EQ(atofLike("12.5 rows"), 12.5);
  EXPECT_EQ(atofLike("none"), 0.0);
}

TEST(TextUtilsTest, JsonStringsEscapeEveryControlByteAndDelAsUnicode) {
  // Every byte below 0x20 and DEL as \u00XX, the quote and backslash with a backslash, the rest
  // of ASCII as it is.
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
  std::string expected = "\"";
  for (int c = 0; c < 0x20; ++c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
    expected += escaped;
  }
  expected += " !\\\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\\\]^_`"
              "abcdefghijklmnopqrstuvwxyz{|}~\\u007f\"";
  EXPECT_EQ(gbkJsonString(ascii), expected);
  EXPECT_EQ(gbkJsonString(""), "\"\"");
  EXPECT_EQ(gbkJsonString("a\x1b[31mb\x07\x7f"), "\"a\\u001b[31mb\\u0007\\u007f\"");
}

TEST(TextUtilsTest, JsonStringsKeepGbkCharactersAndEscapeLoneLeadBytes) {
  // 中 (D6 D0), and characters whose trail byte is '\\' (81 5C), '@' (81 40) or 0x80 (81 80)
  // stay whole; the single-byte 0x80 (the euro sign) and 0xFF stay as they are.
  EXPECT_EQ(gbkJsonString("\xD6\xD0\x81\x5C\x81\x40\x81\x80\x80\xFF"),
            "\"\xD6\xD0\x81\x5C\x81\x40\x81\x80\x80\xFF\"");
  // A lead byte before what cannot be its trail byte (a control byte, DEL, a quote, the end) is
  // escaped by itself, so the control byte after it is escaped too and the quote still closes.
  EXPECT_EQ(gbkJsonString("\x81\x1b"), "\"\\u0081\\u001b\"");
  EXPECT_EQ(gbkJsonString("\x81\x7f"), "\"\\u0081\\u007f\"");
  EXPECT_EQ(gbkJsonString("\xD6\""), "\"\\u00d6\\\"\"");
  EXPECT_EQ(gbkJsonString("a\xFE"), "\"a\\u00fe\"");
  EXPECT_EQ(gbkJsonString("\xFE\xFE\xFE"), "\"\xFE\xFE\\u00fe\"");
}

TEST(TextUtilsTest, LongListsAreShortenedWithTheCountLeftOut) {
  EXPECT_EQ(joinShortened({}), "");
  EXPECT_EQ(joinShortened({"a", "b"}), "a, b");
  std::vector<std::string> ten, many;
  for (int i = 0; i < 10; ++i) ten.push_back(std::to_string(i));
  EXPECT_EQ(joinShortened(ten), "0, 1, 2, 3, 4, 5, 6, 7, 8, 9");
  for (int i = 0; i < 200000; ++i) many.push_back(std::to_string(i));
  EXPECT_EQ(joinShortened(many), "0, 1, 2, 3, 4, 5, 6, 7, 8, 9 ... and 199,990 more");
  EXPECT_EQ(joinShortened(many, 2), "0, 1 ... and 199,998 more");
  many.resize(1011);
  EXPECT_EQ(joinShortened(many), "0, 1, 2, 3, 4, 5, 6, 7, 8, 9 ... and 1,001 more");
  many.resize(1010);
  EXPECT_EQ(joinShortened(many, 0), "... and 1,010 more");
  many.resize(11);
  EXPECT_EQ(joinShortened(many), "0, 1, 2, 3, 4, 5, 6, 7, 8, 9 ... and 1 more");
}

TEST(TextUtilsTest, ProcessorRangeSize) {
  Environment environment;
  EXPECT_EQ(CorpusProcessor(1, 6000, environment).rangeSize(), 6000);
  EXPECT_EQ(CorpusProcessor(10, 9, environment).rangeSize(), 0);
}

}  // namespace
}  // namespace newsclass
