#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/text_utils.h"
#include "features/word_ranking.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;

class ScoringTest : public ::testing::Test {
 protected:
  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);  // N = 10
};

// A dictionary whose words have the given article ids; the count of a posting plays no part.
Dictionary dictionaryOf(std::initializer_list<std::pair<std::string, int>> documentFrequencies) {
  Dictionary dictionary;
  for (const auto& [word, df] : documentFrequencies) {
    dictionary[word];
    for (int i = 0; i < df; ++i) dictionary[word].push_back({i + 1, 3});
  }
  return dictionary;
}

TEST_F(ScoringTest, RankingsBuildTheTableFromCellDocumentFrequencyAndRange) {
  // "a": A=2, df=3 -> B=1, C=1, D=10-3-1=6.  "b": A=0, df=3, C=4 -> B=3, D=3.
  const Dictionary dictionary = dictionaryOf({{"a", 3}, {"b", 3}});
  ContingencyTable table = {
      {{"a", "culture"}, {2, 1}}, {{"a", "history"}, {0, 3}}, {{"b", "culture"}, {0, 4}}};
  const FeatureRanking chi = processor.rankByChiSquare(dictionary, table, "culture");
  EXPECT_EQ(chi, (FeatureRanking{{"b", processor.chiSquare(0, 3, 4, 3)},
                                 {"a", processor.chiSquare(2, 1, 1, 6)}}));
  EXPECT_EQ(processor.rankByInformationGain(dictionary, table, "culture"),
            (FeatureRanking{{"b", processor.informationGain(0, 3, 4, 3)},
                            {"a", processor.informationGain(2, 1, 1, 6)}}));
  EXPECT_EQ(processor.rankByMutualInformation(dictionary, table, "culture"),
            (FeatureRanking{{"a", processor.mutualInformation(2, 1, 1, 6)}, {"b", 0.0}}));
  EXPECT_EQ(env.takeOutput(), "");
}

TEST_F(ScoringTest, EqualScoresKeepByteOrderAndMissingCellsAreAddedAsZero) {
  const std::string high = gbk("啊");  // 0xB0 0xA1: after every ASCII word
  const Dictionary dictionary = dictionaryOf({{high, 1}, {"Z", 1}, {"b", 2}, {"a", 1}});
  ContingencyTable table = {{{"b", "history"}, {2, 0}}};
  const FeatureRanking ranking = processor.rankByCategoryFrequency(dictionary, table, "history");
  EXPECT_EQ(ranking, (FeatureRanking{{"b", 2.0}, {"Z", 0.0}, {"a", 0.0}, {high, 0.0}}));
  const ContingencyTable expected = {{{"Z", "history"}, {0, 0}},
                                     {{"a", "history"}, {0, 0}},
                                     {{"b", "history"}, {2, 0}},
                                     {{high, "history"}, {0, 0}}};
  EXPECT_EQ(table, expected);
}

TEST_F(ScoringTest, CategoryFrequencyPrintsItsTimingLine) {
  const Dictionary dictionary = dictionaryOf({{"a", 1}});
  ContingencyTable table;
  processor.rankByCategoryFrequency(dictionary, table, "history");
  const std::string output = env.takeOutput();
  const std::string label = gbk("为类别") + "history" + gbk("遴选特征词共用了");
  ASSERT_GT(output.size(), label.size() + 1);
  EXPECT_EQ(output.substr(0, label.size()), label);
  EXPECT_EQ(output.back(), '\n');
  EXPECT_TRUE(parseDouble(output.substr(label.size(), output.size() - label.size() - 1))) << output;
}

TEST_F(ScoringTest, ScoresThatAreNotNumbersComeLastInDictionaryOrder) {
  // With N = 10: "all" is in every article and "none" in none, so their chi-square is 0/0.
  const Dictionary dictionary =
      dictionaryOf({{"all", 10}, {"mid", 3}, {"none", 0}, {"aa", 0}, {"low", 1}});
  ContingencyTable table = {{{"aa", "c"}, {0, 5}},
                            {{"all", "c"}, {5, 0}},
                            {{"low", "c"}, {0, 5}},
                            {{"mid", "c"}, {3, 2}},
                            {{"none", "c"}, {0, 5}}};
  const FeatureRanking ranking = processor.rankByChiSquare(dictionary, table, "c");
  ASSERT_EQ(ranking.size(), 5u);
  EXPECT_EQ(ranking[0].first, "mid");
  EXPECT_EQ(ranking[1].first, "low");
  EXPECT_FALSE(std::isnan(ranking[1].second));
  EXPECT_EQ(ranking[2].first, "aa");
  EXPECT_EQ(ranking[3].first, "all");
  EXPECT_EQ(ranking[4].first, "none");
  for (size_t i = 2; i < 5; ++i) EXPECT_TRUE(std::isnan(ranking[i].second)) << i;
}

TEST_F(ScoringTest, RankingFindsCellsAmongManyOthers) {
  // Cells of other categories and of words outside the dictionary, in long runs, must not
  // confuse the ordered walk through the table.
  std::mt19937 random(7);
  Dictionary dictionary;
  ContingencyTable table;
  std::uniform_int_distribution<int> count(0, 40);
  for (int w = 0; w < 300; ++w) {
    std::string word = "w";
    word += std::to_string(w);
    if (w % 5 != 0) {
      for (int i = count(random) / 4; i > 0; --i) dictionary[word].push_back({i, 1});
    }
    if (w % 3 != 0) table[{word, "target"}] = {count(random), count(random)};
    for (int extra = (w % 7 == 0 ? 60 : 2); extra > 0; --extra) {
      table[{word, "other" + std::to_string(extra)}] = {1, 1};
    }
  }
  const ContingencyTable before = table;
  const CorpusProcessor& p = processor;
  const FeatureRanking ranking = processor.rankByChiSquare(dictionary, table, "target");
  ASSERT_EQ(ranking.size(), dictionary.size());
  for (const auto& [word, score] : ranking) {
    const auto old = before.find({word, "target"});
    const ContingencyCell cell = old == before.end() ? ContingencyCell{} : old->second;
    const double df = static_cast<double>(dictionary.at(word).size());
    const double expected = p.chiSquare(cell.withWord, df - cell.withWord, cell.withoutWord,
                                        (10 - df) - cell.withoutWord);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(score)) << word;
    } else {
      EXPECT_EQ(score, expected) << word;
    }
    EXPECT_EQ(table.at({word, "target"}), cell) << word;
  }
  EXPECT_EQ(table.size(),
            before.size() + static_cast<size_t>(std::count_if(
                                dictionary.begin(), dictionary.end(), [&before](const auto& entry) {
                                  return !before.count({entry.first, "target"});
                                })));
}

}  // namespace
}  // namespace newsclass
