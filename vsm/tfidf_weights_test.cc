#include "vsm/tfidf_weights.h"
#include "vsm/keyword_weights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace newsclass::vsm {
namespace {

TEST(TfidfWeightsTest, WeightIsOnePlusLogTfTimesIdfAndZeroWithoutTfOrDf) {
  EXPECT_EQ(tfidfWeight(1, 2, 8), std::log(4.0));
  EXPECT_EQ(tfidfWeight(3, 2, 8), (1.0 + std::log(3.0)) * std::log(4.0));
  EXPECT_EQ(tfidfWeight(0, 2, 8), 0.0);
  EXPECT_EQ(tfidfWeight(2, 0, 8), 0.0);
  EXPECT_EQ(tfidfWeight(2, 8, 8), 0.0);  // in every article: ln 1
}

// Four training articles (ids 1-4, N = 4), three keywords:
//   k0 in article 1 twice and article 2 once (df 2); k1 in article 1 once (df 1);
//   k2 in every article (df 4, idf 0). Article 3 holds only k2, article 4 nothing.
TEST(TfidfWeightsTest, WorkedTrainingExample) {
  const PostingList k0 = {{1, 2}, {2, 1}};
  const PostingList k1 = {{1, 1}};
  const PostingList k2 = {{1, 1}, {2, 3}, {3, 1}, {4, 1}};
  const std::vector<WeightedKeywordList> vectors =
      tfidfTrainingVectors({&k0, &k1, nullptr, &k2}, statisticsOf({&k0, &k1, nullptr, &k2}), 1, 4, 4);
  ASSERT_EQ(vectors.size(), 4u);
  const double a = (1.0 + std::log(2.0)) * std::log(2.0);  // k0 in article 1
  const double b = std::log(4.0);                          // k1 in article 1
  const double length = std::sqrt(a * a + b * b);
  EXPECT_EQ(vectors[0], (WeightedKeywordList{{0, a / length}, {1, b / length}}));
  EXPECT_EQ(vectors[1], (WeightedKeywordList{{0, 1.0}}));  // one keyword: unit weight
  EXPECT_TRUE(vectors[2].empty());  // k2 weighs 0 everywhere
  EXPECT_TRUE(vectors[3].empty());
  // The dense form is what the default normalisation gives the same weights.
  std::vector<double> dense = {a, b, 0.0, 0.0};
  normalizeInPlace(dense.data(), dense.size());
  EXPECT_EQ(denseOf(vectors[0], 4), dense);
}

TEST(TfidfWeightsTest, RepeatedIdsAddTheirCountsAndOutOfRangeIdsAreIgnored) {
  const PostingList repeated = {{5, 1}, {5, 2}, {9, 1}, {2, 4}};
  const PostingList other = {{6, 1}};
  const std::vector<WeightedKeywordList> vectors =
      tfidfTrainingVectors({&repeated, &other}, statisticsOf({&repeated, &other}), 5, 2, 10);
  ASSERT_EQ(vectors.size(), 2u);
  EXPECT_EQ(vectors[0], (WeightedKeywordList{{0, 1.0}}));
  EXPECT_EQ(vectors[1], (WeightedKeywordList{{1, 1.0}}));
  // Only the relative size survives normalisation: tf 3 against tf 1 in a second keyword.
  const PostingList single = {{5, 1}};
  const std::vector<WeightedKeywordList> pair =
      tfidfTrainingVectors({&repeated, &single}, statisticsOf({&repeated, &single}), 5, 1, 10);
  const double a = (1.0 + std::log(3.0)) * std::log(10.0 / 4.0);
  const double b = std::log(10.0);
  const double length = std::sqrt(a * a + b * b);
  EXPECT_EQ(pair[0], (WeightedKeywordList{{0, a / length}, {1, b / length}}));
}

TEST(TfidfWeightsTest, TestingVectorCountsTheArticlesWords) {
  const std::vector<std::string> keywords = {"x", "y", "z"};
  KeywordCounter counter(keywords);
  counter.count({"y", "x", "y", "w", "y"});
  const std::vector<KeywordStatistic> statistics = {{1, 2}, {5, 1}, {1, 3}};
  const WeightedKeywordList vector = tfidfTestingVector(statistics, counter, 6);
  const double x = std::log(3.0);
  const double y = (1.0 + std::log(3.0)) * std::log(6.0);
  const double length = std::sqrt(x * x + y * y);
  EXPECT_EQ(vector, (WeightedKeywordList{{0, x / length}, {1, y / length}}));
  counter.count({"w"});
  EXPECT_TRUE(tfidfTestingVector(statistics, counter, 6).empty());
}

}  // namespace
}  // namespace newsclass::vsm
