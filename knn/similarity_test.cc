#include "knn/similarity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "knn/neighbour_vote.h"
#include "processor/corpus_processor.h"

namespace newsclass {
namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class SimilarityTest : public ::testing::Test {
 protected:
  Environment environment;
  CorpusProcessor processor{1, 10, environment};
};

TEST_F(SimilarityTest, DotProductUsesTheFirstVectorsLength) {
  EXPECT_EQ(dotProduct({1.0, 2.0}, {3.0, 4.0, 100.0}), 11.0);
  EXPECT_EQ(dotProduct({}, {5.0}), 0.0);
  // A shorter second vector would be read past its end.
  EXPECT_THROW(dotProduct({1.0, 2.0}, {1.0}), std::invalid_argument);
}

TEST_F(SimilarityTest, CosineOfParallelOrthogonalAndZeroVectors) {
  EXPECT_NEAR(cosineSimilarity({1.0, 2.0, 3.0}, {10.0, 20.0, 30.0}), 1.0, 1e-15);
  EXPECT_EQ(cosineSimilarity({1.0, 0.0, 2.0}, {0.0, 5.0, 0.0}), 0.0);
  EXPECT_NEAR(cosineSimilarity({1.0, 0.0}, {-1.0, 0.0}), -1.0, 1e-15);
  // A vector of zeros has no direction: its similarity to anything is 0, not NaN.
  EXPECT_EQ(cosineSimilarity({0.0, 0.0}, {0.3, 0.4}), 0.0);
  EXPECT_EQ(cosineSimilarity({0.3, 0.4}, {0.0, 0.0}), 0.0);
  EXPECT_EQ(cosineSimilarity({0.0, 0.0}, {0.0, 0.0}), 0.0);
  // Squared lengths whose product underflows count as zero length too.
  EXPECT_EQ(cosineSimilarity({1e-170}, {1e-170}), 0.0);
}

TEST_F(SimilarityTest, CosineIsTheQuotientInTheStatedOrder) {
  WeightVector a = {0.1, 0.7, 0.3};
  WeightVector b = {0.9, 0.2, 0.4};
  double n = 0.1 * 0.9;
  n += 0.7 * 0.2;
  n += 0.3 * 0.4;
  double p = 0.1 * 0.1;
  p += 0.7 * 0.7;
  p += 0.3 * 0.3;
  double q = 0.9 * 0.9;
  q += 0.2 * 0.2;
  q += 0.4 * 0.4;
  EXPECT_TRUE(sameBits(cosineSimilarity(a, b), n / std::sqrt(q * p)));
}

TEST_F(SimilarityTest, TheProcessorsOperationsAreTheFreeFunctions) {
  const WeightVector a = {0.1, 0.7, 0.3};
  const WeightVector b = {0.9, 0.2, 0.4, 5.0};
  EXPECT_TRUE(sameBits(processor.dotProduct(a, b), dotProduct(a, b)));
  EXPECT_TRUE(sameBits(processor.cosineSimilarity(a, b), cosineSimilarity(a, b)));
  EXPECT_THROW(processor.dotProduct(b, a), std::invalid_argument);
}

TEST_F(SimilarityTest, EqualSimilaritiesKeepAscendingIds) {
  VsmModel training = {{9, {1.0, 0.0}}, {4, {1.0, 0.0}}, {6, {0.0, 1.0}}, {2, {2.0, 0.0}}};
  std::vector<NeighbourEntry> ranked = rankNeighbours({3.0, 0.0}, training);
  ASSERT_EQ(ranked.size(), 4u);
  EXPECT_EQ(ranked[0].articleId, 2);
  EXPECT_EQ(ranked[1].articleId, 4);
  EXPECT_EQ(ranked[2].articleId, 9);
  EXPECT_EQ(ranked[3].articleId, 6);
  EXPECT_EQ(formatIdList(ranked, 3), "(2,4,9)");
  EXPECT_EQ(formatIdList(ranked, 1), "(2)");
}

}  // namespace
}  // namespace newsclass
