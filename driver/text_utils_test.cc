#include "driver/text_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/corpus_processor.h"

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
