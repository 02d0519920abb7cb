#include "features/word_ranking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "features/measures.h"

namespace newsclass {
namespace {

TEST(WordRankingTest, TheRangeSizeGivesTheArticlesWithNeitherWordNorCategory) {
  // "a": A = 2, df = 3, C = 1; "b": A = 0, df = 1, C = 3. D = N - df - C depends on N alone.
  Dictionary dictionary;
  dictionary["a"] = {{1, 1}, {2, 1}, {3, 1}};
  dictionary["b"] = {{4, 1}};
  ContingencyTable table = {{{"a", "c"}, {2, 1}}, {{"b", "c"}, {0, 3}}};
  const RankingInput input = gatherRankingInput(dictionary, table, {"c"});
  for (const int32_t n : {10, 40}) {
    const std::vector<ScoredWord> chi = rankWords(FeatureMeasure::kChiSquare, input, "c", n);
    ASSERT_EQ(chi.size(), 2u);
    const double a = chiSquare(2, 1, 1, n - 3 - 1);
    const double b = chiSquare(0, 1, 3, n - 1 - 3);
    EXPECT_EQ(*chi[0].word, a > b ? "a" : "b") << n;
    EXPECT_EQ(chi[0].score, std::max(a, b)) << n;
    EXPECT_EQ(chi[1].score, std::min(a, b)) << n;
    const std::vector<ScoredWord> mi =
        rankWords(FeatureMeasure::kMutualInformation, input, "c", n, 1);
    ASSERT_EQ(mi.size(), 1u);
    EXPECT_EQ(*mi[0].word, "a");
    EXPECT_EQ(mi[0].score, mutualInformation(2, 1, 1, n - 4)) << n;
  }
  // The counts of the category alone do not depend on N.
  const std::vector<ScoredWord> cf = rankWords(FeatureMeasure::kCategoryFrequency, input, "c", 1);
  EXPECT_EQ(toFeatureRanking(cf), (FeatureRanking{{"a", 2.0}, {"b", 0.0}}));
}

TEST(WordRankingTest, TopOfARankingEqualsThePrefixOfTheWholeRanking) {
  // Many equal scores (small counts), zero margins (not a number) and words without cells.
  std::mt19937 random(11);
  std::uniform_int_distribution<int> small(0, 4);
  Dictionary dictionary;
  ContingencyTable table;
  for (int w = 0; w < 400; ++w) {
    std::string word = "w";
    word += std::to_string(w);
    const int df = w % 11 == 0 ? 10 : small(random);
    for (int i = 0; i < df; ++i) dictionary[word].push_back({i + 1, 1});
    if (w % 13 != 0) table[{word, "c"}] = {std::min(df, small(random)), small(random)};
  }
  for (const FeatureMeasure measure :
       {FeatureMeasure::kChiSquare, FeatureMeasure::kInformationGain,
        FeatureMeasure::kMutualInformation, FeatureMeasure::kCategoryFrequency}) {
    const RankingInput input = gatherRankingInput(dictionary, table, {"c"});
    const std::vector<ScoredWord> whole = rankWords(measure, input, "c", 10);
    ASSERT_EQ(whole.size(), dictionary.size());
    for (const size_t limit :
         {size_t{0}, size_t{1}, size_t{7}, size_t{150}, size_t{399}, size_t{400}, size_t{5000}}) {
      const std::vector<ScoredWord> top = rankWords(measure, input, "c", 10, limit);
      ASSERT_EQ(top.size(), std::min(limit, whole.size()));
      for (size_t i = 0; i < top.size(); ++i) {
        EXPECT_EQ(top[i].word, whole[i].word) << static_cast<int>(measure) << " " << limit;
      }
    }
  }
}

}  // namespace
}  // namespace newsclass
