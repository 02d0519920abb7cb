#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "segmentation/tokenizer.h"
#include "segmentation/tokenizer_classes.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;
using testing::writeFileBytes;

WordList gbkWords(std::initializer_list<const char*> utf8Words) {
  WordList words;
  for (const char* word : utf8Words) words.push_back(gbk(word));
  return words;
}

// A segmenter on a tiny lexicon, so that every segmentation below is known.
class TokenizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFileBytes(env.environment.lexiconPath,
                   "中国 1000 ns\n人民 800 n\n的确 300 d\n的 5000 uj\n年 900 m\n"
                   "北京 700 ns\n奥运 400 j\n会 600 v\n奥运会 500 n\n");
    ASSERT_TRUE(env.segmenter.start(env.environment.lexiconPath));
  }

  WordList tokenize(const std::string& utf8Text, const StopWordSet& stopWords = {}) {
    return processor.tokenizeArticle(gbk(utf8Text), stopWords);
  }

  // The tokeniser's result computed step by step, with the regular expressions.
  WordList tokenizeLiterally(const std::string& gbkText, const StopWordSet& stopWords) {
    return tokenizeJoinedText(processor.segmentParagraph(gbkText.c_str()), stopWords);
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
};

TEST_F(TokenizerTest, EmptyArticleGivesNoWordsAndOneTimingLine) {
  EXPECT_TRUE(tokenize("").empty());
  std::string output = env.takeOutput();
  const std::string label = gbk("对篇章分词的时间为");
  ASSERT_EQ(output.compare(0, label.size(), label), 0) << output;
  EXPECT_TRUE(std::regex_match(output.substr(label.size()), std::regex("[0-9.e+-]+\n"))) << output;
}

TEST_F(TokenizerTest, QuietConsoleWritesNoTimingLine) {
  Console quiet(env.output, ConsoleEncoding::kGbk, true);
  env.environment.console = &quiet;
  EXPECT_EQ(tokenize("中国人民"), gbkWords({"中国", "人民"}));
  EXPECT_EQ(env.takeOutput(), "");
}

TEST_F(TokenizerTest, DigitsAndWhiteSpaceOnlyGiveNoWords) {
  // ASCII and full-width digits, tabs, line ends and the ideographic space.
  EXPECT_TRUE(tokenize("2008 　１２３\t45\r\n 7").empty());
}

TEST_F(TokenizerTest, DigitsAreRemovedFromInsideWords) {
  EXPECT_EQ(tokenize("2008年北京奥运会"), gbkWords({"年", "北京", "奥运会"}));
  // A letter-digit run keeps its letters: the digits go before the split.
  EXPECT_EQ(tokenize("MP3和ＣＤ２"), gbkWords({"MP", "和", "ＣＤ"}));
}

TEST_F(TokenizerTest, StopWordsMatchWholeWordsOnly) {
  StopWordSet stopWords{gbk("的"), gbk("，")};
  EXPECT_EQ(tokenize("中国的人民，的确的", stopWords), gbkWords({"中国", "人民", "的确"}));
}

TEST_F(TokenizerTest, VeryLongStopWordListIsSearchedAsWell) {
  // Letter words "aaaa" to "dzzz" and one Chinese word: 70,305 stop words.
  StopWordSet stopWords{gbk("人民")};
  for (int i = 0; i < 4 * 26 * 26 * 26; ++i) {
    stopWords.insert(
        std::string{static_cast<char>('a' + i / 17576), static_cast<char>('a' + i / 676 % 26),
                    static_cast<char>('a' + i / 26 % 26), static_cast<char>('a' + i % 26)});
  }
  EXPECT_EQ(tokenize("中国人民 dzzz ezzz abc", stopWords), gbkWords({"中国", "ezzz", "abc"}));
}

TEST_F(TokenizerTest, RepeatedWordsStayInTextOrder) {
  EXPECT_EQ(tokenize("人民中国人民 人民"), gbkWords({"人民", "中国", "人民", "人民"}));
}

TEST_F(TokenizerTest, VerticalBarAndIdeographicSpaceSeparate) {
  // "|" is the tokeniser's own separator, so a "|" in the text splits as white space does.
  EXPECT_EQ(tokenize("ab|cd　中国"), gbkWords({"ab", "cd", "中国"}));
}

TEST_F(TokenizerTest, SegmentParagraphJoinsWordsWithBars) {
  EXPECT_EQ(processor.segmentParagraph(gbk("  中国人民\t2008年  ").c_str()),
            gbk("中国|人民|2008|年"));
  EXPECT_EQ(processor.segmentParagraph(""), "");
}

TEST_F(TokenizerTest, TextEndsAtItsFirstZeroByte) {
  std::string text = gbk("中国") + std::string(1, '\0') + gbk("人民");
  EXPECT_EQ(processor.tokenizeArticle(text, {}), gbkWords({"中国"}));
}

TEST_F(TokenizerTest, BytesThatAreNotGbkBecomeQuestionMarks) {
  // A stray 0xFF and a lead byte without its trail cannot be converted; the conversions turn
  // them into "?", and the tokeniser's result says so.
  std::string text = gbk("中国") + "\xFF" + gbk("人民") + " a\x81";
  EXPECT_EQ(processor.tokenizeArticle(text, {}), tokenizeLiterally(text, {}));
  EXPECT_EQ(processor.tokenizeArticle(text, {}),
            (WordList{gbk("中国"), "?", gbk("人民"), "a", "?"}));
}

TEST(TokenizerClasses, WhiteSpaceAndDigitClasses) {
  for (wchar_t c : {L'\t', L'\n', L'\v', L'\f', L'\r', L' ', wchar_t{0x85}, wchar_t{0xA0},
                    wchar_t{0x1680}, wchar_t{0x2000}, wchar_t{0x200A}, wchar_t{0x2028},
                    wchar_t{0x2029}, wchar_t{0x202F}, wchar_t{0x205F}, wchar_t{0x3000}}) {
    EXPECT_TRUE(isTokenizerSpace(c)) << static_cast<int>(c);
  }
  for (wchar_t c :
       {wchar_t{0x1C}, wchar_t{0x1F}, wchar_t{0x200B}, wchar_t{0xFEFF}, L'a', wchar_t{0x3001}}) {
    EXPECT_FALSE(isTokenizerSpace(c)) << static_cast<int>(c);
  }
  EXPECT_TRUE(isTokenizerDigit(L'0'));
  EXPECT_TRUE(isTokenizerDigit(L'9'));
  EXPECT_TRUE(isTokenizerDigit(0xFF10));
  EXPECT_TRUE(isTokenizerDigit(0xFF19));
  EXPECT_FALSE(isTokenizerDigit(0xFF1A));
  EXPECT_FALSE(isTokenizerDigit(0x0660));  // Arabic-Indic zero: not in GBK, not a digit here
  EXPECT_FALSE(isTokenizerDigit(0x2460));  // circled one: a symbol, kept
}

TEST(TokenizerClasses, GbkTablesAgreeWithTheConversions) {
  const GbkClassTables& tables = gbkClassTables();
  EXPECT_EQ(tables.pairClass(0xA1, 0xA1), GbkCharClass::kSeparator);  // ideographic space
  for (unsigned trail = 0xB0; trail <= 0xB9; ++trail) {
    EXPECT_EQ(tables.pairClass(0xA3, trail), GbkCharClass::kDigit);  // full-width digits
  }
  EXPECT_EQ(tables.single['|'], GbkCharClass::kSeparator);
  EXPECT_EQ(tables.single['5'], GbkCharClass::kDigit);
  EXPECT_EQ(tables.single[0x1C], GbkCharClass::kOrdinary);
  EXPECT_EQ(tables.single[0xFF], GbkCharClass::kUnclean);
  EXPECT_EQ(tables.pairClass(0xD6, 0xD0), GbkCharClass::kOrdinary);  // 中
  EXPECT_EQ(tables.pairClass(0x81, 0x30), GbkCharClass::kUnclean);   // trail out of range
  // No other GBK character is a separator or a digit.
  int separators = 0, digits = 0;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0; trail < 256; ++trail) {
      GbkCharClass kind =
          tables.pairClass(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
      separators += kind == GbkCharClass::kSeparator;
      digits += kind == GbkCharClass::kDigit;
    }
  }
  EXPECT_EQ(separators, 1);
  EXPECT_EQ(digits, 10);
}

// The one-pass tokeniser against the step-by-step chain, on every single byte and every byte
// pair as a word of its own: both must agree wherever the one-pass tokeniser answers.
TEST(TokenizerEquivalence, EveryByteAndBytePairAsAWord) {
  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 1);
  std::vector<std::string> inputs;
  for (unsigned a = 1; a < 256; ++a) {
    inputs.push_back(std::string(1, static_cast<char>(a)));
    for (unsigned b = 0x20; b < 256; b += (a >= 0x81 && a <= 0xFE) ? 1 : 37) {
      inputs.push_back(std::string{static_cast<char>(a), static_cast<char>(b)});
    }
  }
  int answered = 0;
  for (const std::string& input : inputs) {
    WordList fast;
    std::vector<std::string_view> words{input};
    if (!tokenizeSegmenterWords(words, {}, fast)) continue;
    ++answered;
    ASSERT_EQ(fast, tokenizeJoinedText(joinSegmentedWords(input), {}))
        << "bytes " << std::hex << static_cast<int>(static_cast<unsigned char>(input[0]));
  }
  EXPECT_GT(answered, 20000);
}

// Random word lists: pieces of Chinese, full-width digits and letters, ASCII digits, "|",
// white space of several kinds inside words, stop words, and now and then a broken byte.
TEST(TokenizerEquivalence, RandomWordListsAgreeWithTheStepByStepChain) {
  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 1);
  const std::vector<std::string> fragments = {
      gbk("中国"), gbk("的"), gbk("人民"), gbk("年"), gbk("１２"), gbk("０"), gbk("ＡＢ"),
      gbk("　"),   gbk("，"), gbk("。"),   gbk("①"),  "2008",      "7",       "abc",
      "MP3",       "|",       "||",        "\t",      " ",         "\r\n",    "\x1C",
      "?",         "\x80",    "\xFF",      "\x81",    "\xA3",      "\xA1\x40"};
  const StopWordSet stopWords{gbk("的"), gbk("，"), "abc", "?"};
  std::mt19937 random(20240601);
  std::uniform_int_distribution<size_t> pick(0, fragments.size() - 1);
  std::uniform_int_distribution<int> count(0, 6);
  int answered = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<std::string> words(static_cast<size_t>(count(random)));
    for (std::string& word : words) {
      int parts = 1 + count(random) / 2;
      for (int i = 0; i < parts; ++i) word += fragments[pick(random)];
    }
    std::string joined;
    std::vector<std::string_view> views;
    for (const std::string& word : words) {
      if (!joined.empty()) joined += "  ";
      joined += word;
      views.push_back(word);
    }
    WordList expected =
        tokenizeJoinedText(joinSegmentedWords(joined), stopWords);
    WordList fast;
    if (tokenizeSegmenterWords(views, stopWords, fast)) {
      ++answered;
      ASSERT_EQ(fast, expected) << "round " << round;
    }
  }
  EXPECT_GT(answered, 1000);
}

// Whole texts through the segmenter: tokenizeArticle equals the step-by-step chain, whichever
// road it takes.
TEST_F(TokenizerTest, ArticlesAgreeWithTheStepByStepChain) {
  const std::vector<std::string> fragments = {gbk("中国"),
                                              gbk("人民"),
                                              gbk("的确"),
                                              gbk("北京奥运会"),
                                              gbk("２００８年"),
                                              gbk("　"),
                                              gbk("，"),
                                              "2008",
                                              "abc",
                                              "|",
                                              "\t",
                                              " ",
                                              "\n",
                                              "\xFF",
                                              "\x81",
                                              gbk("的")};
  const StopWordSet stopWords{gbk("的"), gbk("，")};
  std::mt19937 random(7);
  std::uniform_int_distribution<size_t> pick(0, fragments.size() - 1);
  for (int round = 0; round < 500; ++round) {
    std::string text;
    for (int i = 0; i < 12; ++i) text += fragments[pick(random)];
    ASSERT_EQ(processor.tokenizeArticle(text, stopWords), tokenizeLiterally(text, stopWords))
        << "round " << round;
  }
}

TEST_F(TokenizerTest, SplitBySpace) {
  const StopWordSet stopWords{"ab"};
  // Runs of spaces separate once; the stop words are not looked at.
  EXPECT_EQ(processor.splitBySpace("ab  cd ", stopWords), (WordList{"ab", "cd"}));
  EXPECT_EQ(processor.splitBySpace("   ab cd", stopWords), (WordList{"ab", "cd"}));
  EXPECT_EQ(processor.splitBySpace("", stopWords), (WordList{""}));
  EXPECT_EQ(processor.splitBySpace("    ", stopWords), (WordList{""}));
  // Only the space separates: tabs and line ends stay inside words.
  EXPECT_EQ(processor.splitBySpace("a\tb c\n", stopWords), (WordList{"a\tb", "c\n"}));
  EXPECT_EQ(processor.splitBySpace(gbk("中国 人民"), stopWords), gbkWords({"中国", "人民"}));
  // Nothing is timed or written.
  EXPECT_EQ(env.takeOutput(), "");
}

}  // namespace
}  // namespace newsclass
