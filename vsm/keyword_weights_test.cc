#include "vsm/keyword_weights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "vsm/testing_vsm.h"
#include "vsm/training_vsm.h"

namespace newsclass::vsm {
namespace {

TEST(KeywordWeightsTest, StatisticsOfListsAndOfMissingKeywords) {
  const PostingList postings = {{4, 2}, {9, 7}, {12, 1}};
  const PostingList empty;
  EXPECT_EQ(statisticsOf({&postings, nullptr, &empty}),
            (std::vector<KeywordStatistic>{{7, 3}, {0, 0}, {0, 0}}));
  EXPECT_TRUE(statisticsOf({}).empty());
}

TEST(KeywordWeightsTest, WeightsFollowTheFormulaAndAnUnpostedKeywordWeighsZero) {
  // N = 100: keyword 0 has (M, df) = (4, 10), keyword 1 no postings, keyword 2 M = 0.
  const WeightTable table({{4, 10}, {0, 0}, {0, 5}}, 100);
  const double idf = std::log(100.0 / 10.0);
  EXPECT_EQ(table.weight(0, 0), (0.0 / 4.0 + 0.5) * idf);
  EXPECT_EQ(table.weight(0, 1), (1.0 / 4.0 + 0.5) * idf);
  EXPECT_EQ(table.weight(0, 3), (3.0 / 4.0 + 0.5) * idf);
  for (int32_t tf : {0, 1, 2}) EXPECT_EQ(table.weight(1, tf), 0.0) << tf;
  // An M of 0 gives what the division gives: 0/0 and 1/0.
  EXPECT_TRUE(std::isnan(table.weight(2, 0)));
  EXPECT_TRUE(std::isinf(table.weight(2, 1)));
  EXPECT_EQ(table.unpostedCount(), 1u);
  EXPECT_EQ(table.firstUnposted(), 1u);
  EXPECT_EQ(WeightTable({{1, 1}}, 3).firstUnposted(), 1u);  // none: size()
}

TEST(KeywordWeightsTest, NormalisationGivesUnitLengthAndLeavesZerosAlone) {
  std::vector<double> weights = {3.0, -4.0, 0.0};
  normalizeInPlace(weights.data(), weights.size());
  EXPECT_EQ(weights, (std::vector<double>{3.0 / 5.0, -4.0 / 5.0, 0.0}));
  std::vector<double> zeros = {0.0, -0.0};
  normalizeInPlace(zeros.data(), zeros.size());
  EXPECT_EQ(zeros[0], 0.0);
  EXPECT_TRUE(std::signbit(zeros[1]));  // left as it was, not divided by 0
  normalizeInPlace(nullptr, 0);
}

TEST(KeywordWeightsTest, TrainingVectorsCountPostingsOfTheIdAndReplaceOnlyTheirRange) {
  // Keyword 0 holds article 2 twice (tf 2); keyword 1 holds articles 1 and 7 (outside).
  const PostingList repeated = {{2, 5}, {2, 1}, {3, 2}};
  const PostingList outside = {{1, 1}, {7, 1}};
  const std::vector<const PostingList*> lists = {&repeated, &outside};
  const WeightTable table(statisticsOf(lists), 10);
  VsmModel model = {{1, {9.0}}, {2, {9.0}}, {5, {9.0}}};
  addTrainingVectors(lists, table, 2, 2, model);  // articles 2 and 3
  ASSERT_EQ(model.size(), 4u);
  EXPECT_EQ(model.at(1), WeightVector{9.0});
  EXPECT_EQ(model.at(5), WeightVector{9.0});
  std::vector<double> two = {table.weight(0, 2), table.weight(1, 0)};
  normalizeInPlace(two.data(), two.size());
  EXPECT_EQ(model.at(2), two);
  std::vector<double> three = {table.weight(0, 1), table.weight(1, 0)};
  normalizeInPlace(three.data(), three.size());
  EXPECT_EQ(model.at(3), three);

  VsmModel untouched;
  addTrainingVectors(lists, table, 2, 0, untouched);
  addTrainingVectors({}, WeightTable({}, 10), 2, 5, untouched);
  EXPECT_TRUE(untouched.empty());
}

TEST(KeywordWeightsTest, TrainingVectorsAreTheSameForAnyThreadCount) {
  // 40 keywords over 1,500 articles (several tasks per thread), each article holding a few.
  std::mt19937 random(7);
  std::vector<PostingList> postings(40);
  for (int32_t id = 1; id <= 1500; ++id) {
    for (size_t keyword = 0; keyword < postings.size(); ++keyword) {
      if (random() % 9 == 0) postings[keyword].push_back({id, static_cast<int32_t>(random() % 5 + 1)});
    }
  }
  std::vector<const PostingList*> lists;
  for (const PostingList& list : postings) lists.push_back(&list);
  const WeightTable table(statisticsOf(lists), 1500);
  VsmModel one;
  addTrainingVectors(lists, table, 1, 1500, one, 1);
  ASSERT_EQ(one.size(), 1500u);
  for (int threads : {2, 3, 8}) {
    VsmModel many = {{700, {1.0}}};
    addTrainingVectors(lists, table, 1, 1500, many, threads);
    EXPECT_TRUE(many == one) << threads;
  }
}

TEST(KeywordWeightsTest, TestingVectorsCountOccurrencesAndShareADuplicateKeywordsCount) {
  const std::vector<std::string> keywords = {"war", "king", "war"};
  const WeightTable table({{3, 4}, {1, 2}, {3, 4}}, 20);
  KeywordCounter counter(keywords);
  counter.count({"war", "peace", "war", "war"});
  EXPECT_EQ(counter.tf(0), 3);
  EXPECT_EQ(counter.tf(1), 0);
  EXPECT_EQ(counter.tf(2), 3);
  // The present keywords alone, ascending, a duplicate at both its positions.
  EXPECT_EQ(counter.presentPositions(), (std::vector<std::pair<int32_t, int32_t>>{{0, 3}, {2, 3}}));
  counter.count({"king"});  // the previous article's counts are gone
  EXPECT_EQ(counter.tf(0), 0);
  EXPECT_EQ(counter.presentPositions(), (std::vector<std::pair<int32_t, int32_t>>{{1, 1}}));
  counter.count({"war", "peace", "war", "war"});
  std::vector<double> expected = {table.weight(0, 3), table.weight(1, 0), table.weight(2, 3)};
  normalizeInPlace(expected.data(), expected.size());
  EXPECT_EQ(testingVector(table, counter), expected);
  counter.count({"king"});  // the previous article's counts are gone
  EXPECT_EQ(counter.tf(0), 0);
  EXPECT_EQ(counter.tf(1), 1);
}

}  // namespace
}  // namespace newsclass::vsm
