#include "knn/similarity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>

#include "driver/corpus_processor.h"
#include "knn/neighbour_vote.h"
#include "knn/test_set_run.h"

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

VsmModel randomModel(std::mt19937_64& random, int count, size_t weights, int firstId) {
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  VsmModel model;
  for (int i = 0; i < count; ++i) {
    WeightVector vector(weights);
    for (double& w : vector) w = uniform(random) * std::pow(10.0, uniform(random) * 3);
    model[firstId + 7 * i] = vector;
  }
  return model;
}

// Training sizes that fill no block, a part of one and several, and testing counts that leave
// every remainder of the four-vector tile.
class IndexedSimilarityTest : public SimilarityTest,
                              public ::testing::WithParamInterface<TrainingIndex::Kernel> {
 protected:
  void SetUp() override { TrainingIndex::selectKernel(GetParam()); }
  void TearDown() override { TrainingIndex::selectKernel(TrainingIndex::Kernel::kAuto); }
};

INSTANTIATE_TEST_SUITE_P(Kernels, IndexedSimilarityTest,
                         ::testing::Values(TrainingIndex::Kernel::kAuto,
                                           TrainingIndex::Kernel::kSse2));

TEST_P(IndexedSimilarityTest, SimilaritiesEqualCosineSimilarityBitForBit) {
  std::mt19937_64 random(7);
  for (int trainingCount : {1, 7, 8, 9, 23}) {
    for (int testingCount : {1, 2, 3, 4, 5, 11}) {
      VsmModel training = randomModel(random, trainingCount, 37, 3);
      training.begin()->second.assign(37, 0.0);  // a zero vector among them
      VsmModel testing = randomModel(random, testingCount, 37, 100);
      TrainingIndex index(training);
      ASSERT_EQ(index.size(), static_cast<size_t>(trainingCount));
      std::vector<const WeightVector*> vectors;
      std::vector<double> selfProducts;
      for (const auto& [id, v] : testing) {
        vectors.push_back(&v);
        selfProducts.push_back(dotProduct(v, v));
      }
      std::vector<double> out(testing.size() * index.size());
      index.similarities(vectors.data(), selfProducts.data(), vectors.size(), out.data());
      size_t t = 0;
      for (const auto& [testingId, v] : testing) {
        size_t j = 0;
        for (const auto& [trainingId, w] : training) {
          EXPECT_EQ(index.ids()[j], trainingId);
          EXPECT_TRUE(sameBits(out[t * index.size() + j], cosineSimilarity(v, w)))
              << "training " << trainingCount << " testing " << testingCount << " at " << t
              << "," << j;
          ++j;
        }
        ++t;
      }
    }
  }
}

// The neighbour search of a whole test set gives the first K entries of the full stable ranking,
// ties included: many training vectors are copies of each other.
TEST_P(IndexedSimilarityTest, NeighbourListsEqualTheStableRanking) {
  std::mt19937_64 random(11);
  VsmModel training = randomModel(random, 40, 6, 1);
  VsmModel copies;
  int next = 1000;
  for (const auto& [id, v] : training) {
    if (id % 3 == 0) copies[next++] = v;
    if (id % 5 == 0) copies[id + 1] = v;  // a copy with the next id
  }
  training.insert(copies.begin(), copies.end());
  VsmModel testing = randomModel(random, 9, 6, 1);
  testing.begin()->second.assign(6, 0.0);  // every similarity 0: the lowest ids win
  for (int k : {1, 5, 13, static_cast<int>(training.size())}) {
    size_t visited = 0;
    auto testingEntry = testing.begin();
    forEachNeighbourList(training, testing, k,
                         [&](int32_t id, const std::vector<NeighbourEntry>& neighbours) {
                           ASSERT_EQ(id, testingEntry->first);
                           std::vector<NeighbourEntry> ranked =
                               rankNeighbours(testingEntry->second, training);
                           ASSERT_EQ(neighbours.size(), static_cast<size_t>(k));
                           for (int i = 0; i < k; ++i) {
                             EXPECT_EQ(neighbours[i].articleId, ranked[i].articleId);
                             EXPECT_TRUE(sameBits(neighbours[i].similarity, ranked[i].similarity));
                           }
                           ++testingEntry;
                           ++visited;
                         });
    EXPECT_EQ(visited, testing.size());
  }
  std::vector<NeighbourEntry> zero = rankNeighbours(testing.begin()->second, training);
  EXPECT_EQ(zero[0].articleId, training.begin()->first);
  EXPECT_EQ(zero[0].similarity, 0.0);
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
