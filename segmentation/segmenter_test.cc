#include "segmentation/segmenter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "segmentation/lexicon.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

const char* const kTinyLexicon = "testdata/tiny_lexicon.txt";
// The distinct words of the tiny lexicon that load: its malformed lines, non-positive
// frequencies and the word GBK cannot hold are skipped, and 世界 is listed twice.
constexpr size_t kTinyLexiconWords = 27;

// Segments UTF-8 text and gives the words back in UTF-8, joined by "|".
std::string cut(const Segmenter& segmenter, const std::string& utf8) {
  std::vector<std::string_view> words;
  std::string gbkText = utf8ToGbk(utf8);
  segmenter.segmentInto(gbkText, words);
  std::string joined;
  for (std::string_view word : words) {
    if (!joined.empty()) joined += "|";
    joined += gbkToUtf8(word);
  }
  return joined;
}

class SegmenterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(segmenter.start(kTinyLexicon)); }
  testing::TempDir dir;
  Segmenter segmenter;
};

TEST_F(SegmenterTest, LoadsTheValidEntriesOnce) {
  EXPECT_TRUE(segmenter.started());
  EXPECT_EQ(segmenter.lexiconWordCount(), kTinyLexiconWords);
}

TEST_F(SegmenterTest, AmbiguityIsResolvedByFrequency) {
  // 研究 生命 (100 × 80) outweighs 研究生 命 (20 × 5); 和 尚未 (500 × 40) outweighs 和尚 未.
  EXPECT_EQ(cut(segmenter, "研究生命起源"), "研究|生命|起源");
  EXPECT_EQ(cut(segmenter, "结婚的和尚未结婚的"), "结婚|的|和|尚未|结婚|的");
  EXPECT_EQ(cut(segmenter, "中国人民银行"), "中国|人民|银行");
}

TEST_F(SegmenterTest, UnknownCharactersStandAloneWithTheLowestProbability) {
  // 戊 己 would win if an unknown 己 were likely; at the lowest lexicon probability the rare
  // word 戊己 is better.
  EXPECT_EQ(cut(segmenter, "戊己"), "戊己");
  EXPECT_EQ(cut(segmenter, "中国龘人民"), "中国|龘|人民");
  EXPECT_EQ(cut(segmenter, "甲乙丙"), "甲|乙|丙");
}

TEST_F(SegmenterTest, LetterAndDigitRunsStayTogether) {
  EXPECT_EQ(cut(segmenter, "2008年北京奥运会"), "2008|年|北京|奥运会");
  EXPECT_EQ(cut(segmenter, "ｉＰｈｏｎｅ１２手机"), "ｉＰｈｏｎｅ１２|手机");
  EXPECT_EQ(cut(segmenter, "iPhone手机C++开发v2"), "iPhone|手机|C|+|+|开发|v2");
  // ASCII and full-width letters and digits form one run together.
  EXPECT_EQ(cut(segmenter, "A４纸"), "A４|纸");
}

TEST_F(SegmenterTest, PunctuationIsAWordOfItsOwnAndWhiteSpaceIsDropped) {
  EXPECT_EQ(cut(segmenter, "你好，世界！"), "你好|，|世界|！");
  EXPECT_EQ(cut(segmenter, "　　中国 人民\t银行\r\n"), "中国|人民|银行");
  EXPECT_EQ(cut(segmenter, "（北京）“你好”..."), "（|北京|）|“|你好|”|.|.|.");
  // The Chinese dash and ellipsis are one mark each, however many characters they take.
  EXPECT_EQ(cut(segmenter, "北京——中国……很快—"), "北京|——|中国|……|很|快|—");
  EXPECT_EQ(cut(segmenter, "  \t "), "");
  EXPECT_EQ(cut(segmenter, ""), "");
}

TEST_F(SegmenterTest, SegmentJoinsWordsWithTwoSpaces) {
  EXPECT_EQ(testing::segmentText(segmenter, utf8ToGbk("2008年 北京，奥运会")),
            utf8ToGbk("2008  年  北京  ，  奥运会"));
  EXPECT_EQ(testing::segmentText(segmenter, ""), "");
  // Views point into the text, in order.
  std::string text = utf8ToGbk("北京abc");
  std::vector<std::string_view> words{"kept"};
  segmenter.segmentInto(text, words);
  ASSERT_EQ(words.size(), 3u);
  EXPECT_EQ(words[0], "kept");
  EXPECT_EQ(words[1].data(), text.data());
  EXPECT_EQ(words[2].data(), text.data() + 4);
}

TEST_F(SegmenterTest, StrayBytesAreSingleByteWordsAndDoNotShiftTheText) {
  // A lead byte before a digit (no trail byte: GBK trail bytes are 0x40 to 0xFE), a lone 0x80
  // and 0xFF, a lead byte at the very end. A lead byte before a letter is a character.
  std::string text =
      "\x81"
      "1" +
      utf8ToGbk("中国") + "\x80\xFF" + utf8ToGbk("北京") + "\xB1";
  std::vector<std::string_view> words;
  segmenter.segmentInto(text, words);
  std::vector<std::string> expected = {
      "\x81", "1", utf8ToGbk("中国"), "\x80", "\xFF", utf8ToGbk("北京"), "\xB1"};
  EXPECT_EQ(std::vector<std::string>(words.begin(), words.end()), expected);
  words.clear();
  segmenter.segmentInto(
      "\x81"
      "a1",
      words);
  EXPECT_EQ(std::vector<std::string>(words.begin(), words.end()), (std::vector<std::string>{"\x81"
                                                                                            "a",
                                                                                            "1"}));
}

TEST_F(SegmenterTest, AnyBytesComeBackWholeAndInOrder) {
  // Without white space (no byte below 0x21 and no 0xA1, which could form the ideographic
  // space), the words put together give the text back byte for byte.
  std::mt19937 random(20240611);
  std::string alphabet;
  for (int b = 0x21; b <= 0xFF; ++b) {
    if (b != 0xA1) alphabet.push_back(static_cast<char>(b));
  }
  std::string chinese = utf8ToGbk("研究生命起源和尚未结婚的北京");
  for (int round = 0; round < 200; ++round) {
    std::string text;
    size_t length = random() % 64;
    for (size_t i = 0; i < length; ++i) {
      if (random() % 3 == 0) {
        size_t at = (random() % (chinese.size() / 2)) * 2;
        text += chinese.substr(at, 2);
      } else {
        text.push_back(alphabet[random() % alphabet.size()]);
      }
    }
    std::vector<std::string_view> words;
    segmenter.segmentInto(text, words);
    std::string joined;
    for (std::string_view word : words) {
      ASSERT_FALSE(word.empty());
      ASSERT_EQ(word.data(), text.data() + joined.size()) << "round " << round;
      joined += word;
    }
    EXPECT_EQ(joined, text) << "round " << round;
  }
}

TEST_F(SegmenterTest, UserDictionaryAddsWordsAndCountsThem) {
  std::string path = dir.file("dict.txt");
  // Forced words (no frequency), a frequency that beats the lexicon's choice, a tag without a
  // frequency, and lines that are not imported: blank, a character GBK cannot hold, a zero
  // frequency.
  testing::writeFileBytes(path,
                          "研究生\n"
                          "和尚 100000 n\n"
                          "\n"
                          "量子计算机 nz\r\n"
                          "😀\n"
                          "坏词 0\n"
                          "世清");
  EXPECT_EQ(segmenter.importUserDictionary(path), 4);
  EXPECT_EQ(segmenter.lexiconWordCount(), kTinyLexiconWords + 2);
  EXPECT_EQ(cut(segmenter, "研究生命起源"), "研究生|命|起源");
  EXPECT_EQ(cut(segmenter, "结婚的和尚未结婚的"), "结婚|的|和尚|未|结婚|的");
  EXPECT_EQ(cut(segmenter, "量子计算机很快"), "量子计算机|很|快");
  EXPECT_EQ(cut(segmenter, "宋世清"), "宋|世清");

  // A new start forgets the user's words.
  ASSERT_TRUE(segmenter.start(kTinyLexicon));
  EXPECT_EQ(segmenter.lexiconWordCount(), kTinyLexiconWords);
  EXPECT_EQ(cut(segmenter, "研究生命起源"), "研究|生命|起源");
  EXPECT_EQ(cut(segmenter, "结婚的和尚未结婚的"), "结婚|的|和|尚未|结婚|的");
}

TEST_F(SegmenterTest, ForcedUserWordsWinWhereverTheyOccur) {
  std::string path = dir.file("dict.txt");
  // 命起 is chosen over 生命 and 起源, both far more frequent than anything it leaves.
  testing::writeFileBytes(path, "命起\n");
  EXPECT_EQ(segmenter.importUserDictionary(path), 1);
  EXPECT_EQ(cut(segmenter, "研究生命起源"), "研究生|命起|源");
  // Of two forced words, the one that covers more characters wins.
  testing::writeFileBytes(path, "究生命\n研究生命起\n");
  EXPECT_EQ(segmenter.importUserDictionary(path), 2);
  EXPECT_EQ(cut(segmenter, "研究生命起源"), "研究生命起|源");
}

TEST_F(SegmenterTest, UserDictionaryInGbkAndMissingUserDictionary) {
  std::string path = dir.file("dict.txt");
  testing::writeFileBytes(path, utf8ToGbk("研究生 3\r\n生命起源\r\n"));
  EXPECT_EQ(segmenter.importUserDictionary(path), 2);
  EXPECT_EQ(cut(segmenter, "研究生命起源"), "研究|生命起源");
  EXPECT_EQ(segmenter.importUserDictionary(dir.file("missing.txt")), 0);
  EXPECT_EQ(segmenter.importUserDictionary(dir.path()), 0);
}

TEST(SegmenterLexiconTest, GbkLexiconWithCarriageReturnsLoadsTheSameWords) {
  testing::TempDir dir;
  std::string utf8 = testing::readFileBytes(kTinyLexicon);
  // GBK has no emoji, so that line is left out; every line end becomes CR LF, and the last line
  // has none.
  std::string gbkLexicon;
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t end = utf8.find('\n', pos);
    std::string line = utf8.substr(pos, end - pos);
    pos = end == std::string::npos ? utf8.size() : end + 1;
    if (line.find("😀") != std::string::npos) continue;
    if (!gbkLexicon.empty()) gbkLexicon += "\r\n";
    gbkLexicon += utf8ToGbk(line);
  }
  ASSERT_FALSE(isValidUtf8(gbkLexicon));
  std::string path = dir.file("lexicon.txt");
  testing::writeFileBytes(path, gbkLexicon);
  Segmenter segmenter;
  ASSERT_TRUE(segmenter.start(path));
  EXPECT_EQ(segmenter.lexiconWordCount(), kTinyLexiconWords);
  EXPECT_EQ(cut(segmenter, "研究生命起源，结婚的和尚未结婚的"),
            "研究|生命|起源|，|结婚|的|和|尚未|结婚|的");

  // A lexicon with a byte order mark, each frequency with a decimal point.
  testing::writeFileBytes(path, "\xEF\xBB\xBF研究 1.5\n研究生 0.5\n生命 1.0\n命 0.25\n");
  ASSERT_TRUE(segmenter.start(path));
  EXPECT_EQ(segmenter.lexiconWordCount(), 4u);
  EXPECT_EQ(cut(segmenter, "研究生命"), "研究|生命");
}

TEST(SegmenterLexiconTest, ChangedLexiconFileIsLoadedAfresh) {
  testing::TempDir dir;
  std::string path = dir.file("lexicon.txt");
  testing::writeFileBytes(path, "研究 100\n研究生 20\n生命 80\n命 5\n");
  Segmenter segmenter;
  ASSERT_TRUE(segmenter.start(path));
  EXPECT_EQ(cut(segmenter, "研究生命"), "研究|生命");
  // Same size, other frequencies.
  testing::writeFileBytes(path, "研究 100\n研究生 90\n生命 20\n命 85\n");
  ASSERT_TRUE(segmenter.start(path));
  EXPECT_EQ(cut(segmenter, "研究生命"), "研究生|命");
}

TEST(SegmenterFallbackTest, FailedStartCutsEveryChineseCharacterApart) {
  testing::TempDir dir;
  Segmenter segmenter;
  EXPECT_FALSE(segmenter.start(dir.file("missing.txt")));
  EXPECT_FALSE(segmenter.started());
  EXPECT_EQ(segmenter.lexiconWordCount(), 0u);
  const std::string expected = "2008|年|北|京|，|你|好|abc|——";
  EXPECT_EQ(cut(segmenter, "2008年北京，你好 abc——"), expected);

  // A user dictionary needs a lexicon: nothing is imported.
  testing::writeFileBytes(dir.file("dict.txt"), "北京\n你好 10\n");
  EXPECT_EQ(segmenter.importUserDictionary(dir.file("dict.txt")), 0);
  EXPECT_EQ(cut(segmenter, "2008年北京，你好 abc——"), expected);

  // A folder, an empty file and a file without one valid entry are failed starts too.
  EXPECT_FALSE(segmenter.start(dir.path()));
  testing::writeFileBytes(dir.file("empty.txt"), "");
  EXPECT_FALSE(segmenter.start(dir.file("empty.txt")));
  testing::writeFileBytes(dir.file("bad.txt"), "北京\n你好 abc\n");
  EXPECT_FALSE(segmenter.start(dir.file("bad.txt")));

  // A segmenter never started and one stopped cut the same way.
  Segmenter fresh;
  EXPECT_EQ(cut(fresh, "2008年北京，你好 abc——"), expected);
  ASSERT_TRUE(fresh.start(kTinyLexicon));
  fresh.stop();
  EXPECT_FALSE(fresh.started());
  EXPECT_EQ(cut(fresh, "2008年北京，你好 abc——"), expected);
}

TEST(WordTrieTest, InsertKeepsChildrenSortedAndFindsEveryWord) {
  WordEntries entries;
  parseWordList("ab 1\nabc 2\nb 3\nabd 4\nab 5\n", true, entries);
  std::vector<double> values;
  for (const auto& entry : entries.entries) values.push_back(entry.frequency);
  WordTrie trie(entries, values);
  EXPECT_EQ(trie.wordCount(), 4u);
  auto find = [&](std::string_view word) {
    std::vector<uint16_t> units;
    appendUnits(word, units);
    const double* value = trie.find(units.data(), units.size());
    return value ? *value : -1.0;
  };
  EXPECT_EQ(find("ab"), 5.0);  // listed twice: the last frequency
  EXPECT_EQ(find("abc"), 2.0);
  EXPECT_EQ(find("abd"), 4.0);
  EXPECT_EQ(find("b"), 3.0);
  EXPECT_EQ(find("a"), -1.0);
  EXPECT_EQ(find("abcd"), -1.0);
  // Children added between, before and after existing ones.
  for (std::string_view word : {"abb", "aba", "abz", "a", "abcd"}) {
    std::vector<uint16_t> units;
    appendUnits(word, units);
    trie.insert(units.data(), units.size(), static_cast<double>(word.size()) * 10, 0);
  }
  EXPECT_EQ(trie.wordCount(), 9u);
  for (std::string_view word : {"abb", "aba", "abz", "a", "abcd"}) {
    EXPECT_EQ(find(word), static_cast<double>(word.size()) * 10) << word;
  }
  EXPECT_EQ(find("abc"), 2.0);
  EXPECT_EQ(find("abd"), 4.0);
  EXPECT_EQ(find("ab"), 5.0);
  int words = 0;
  trie.forEachValue([&](double&) { ++words; });
  EXPECT_EQ(words, 9);
}

}  // namespace
}  // namespace newsclass
