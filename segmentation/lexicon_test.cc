#include "segmentation/lexicon.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/encoding.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// The entries of a word list as (GBK word, frequency) pairs, in file order.
std::vector<std::pair<std::string, double>> entriesOf(std::string_view bytes,
                                                      bool frequencyRequired) {
  WordEntries words;
  parseWordList(bytes, frequencyRequired, words);
  std::vector<std::pair<std::string, double>> entries;
  for (const WordEntries::Entry& entry : words.entries) {
    std::string word;
    for (uint32_t i = 0; i < entry.length; ++i) {
      const uint16_t unit = words.units[entry.offset + i];
      if (unit > 0xFF) word += static_cast<char>(unit >> 8);
      word += static_cast<char>(unit & 0xFF);
    }
    entries.emplace_back(word, entry.frequency);
  }
  return entries;
}

using Entries = std::vector<std::pair<std::string, double>>;
constexpr double kNone = WordEntries::kNoFrequency;

TEST(WordListTest, LinesEndAtLfCrLfOrALoneCr) {
  EXPECT_EQ(entriesOf("a 1\nb 2\r\nc 3\rd 4", true),
            (Entries{{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}}));
  // A lone CR ends the line: what follows is an entry of its own, not a third field.
  EXPECT_EQ(entriesOf("a 1\rtag\r\n\r\n", false), (Entries{{"a", 1}, {"tag", kNone}}));
}

TEST(WordListTest, FieldsFrequenciesAndSkippedLines) {
  EXPECT_EQ(entriesOf("a\t 0.5 n\nb x\nc 0\nd -1\ne 1e3\n\n  \nf\n", true),
            (Entries{{"a", 0.5}, {"e", 1000}}));
  // Without a required frequency, a second field that is not a number is a tag.
  EXPECT_EQ(entriesOf("a\t 0.5 n\nb x\nc 0\nf\n", false),
            (Entries{{"a", 0.5}, {"b", kNone}, {"f", kNone}}));
}

TEST(WordListTest, Utf8LinesMatchTheirOriginalsAcrossLineEnds) {
  // An emoji has no GBK form and becomes "?"; that word is skipped, while a "?" of the text stays.
  // CR LF and a lone CR keep the converted lines and the original lines in step.
  EXPECT_EQ(entriesOf("\xEF\xBB\xBFx😀 1\r\na? 2\r历史 3\n", true),
            (Entries{{"a?", 2}, {gbk("历史"), 3}}));
}

TEST(WordListTest, ReadWordFileTellsAMissingFile) {
  testing::TempDir dir;
  WordEntries words;
  EXPECT_FALSE(readWordFile(dir.file("none.txt"), true, words));
  EXPECT_FALSE(readWordFile(dir.path(), true, words));
  testing::writeFileBytes(dir.file("list.txt"), "a 1\n");
  EXPECT_TRUE(readWordFile(dir.file("list.txt"), true, words));
  EXPECT_EQ(words.entries.size(), 1u);
}

}  // namespace
}  // namespace newsclass
