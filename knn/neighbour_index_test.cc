#include "knn/neighbour_index.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>

#include "knn/neighbour_vote.h"
#include "knn/shared_base.h"
#include "knn/test_set_run.h"

namespace newsclass {
namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Checks every testing vector's k nearest against the plain ranking, bit for bit, and returns
// the number of plain sums the index computed. The index is built on `threads` threads.
size_t expectPlainRanking(const VsmModel& training, const VsmModel& testing,
                          const std::vector<int>& ks, int threads = 1) {
  NeighbourIndex index(training, threads);
  NeighbourIndex::Scratch scratch;
  std::vector<NeighbourEntry> found;
  for (const auto& [testingId, vector] : testing) {
    std::vector<NeighbourEntry> ranked = rankNeighbours(vector, training);
    for (int k : ks) {
      index.nearest(vector, k, scratch, found);
      EXPECT_EQ(found.size(), static_cast<size_t>(k));
      for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].articleId, ranked[i].articleId)
            << "testing " << testingId << " k " << k << " rank " << i;
        EXPECT_TRUE(sameBits(found[i].similarity, ranked[i].similarity))
            << "testing " << testingId << " k " << k << " rank " << i << ": "
            << found[i].similarity << " against " << ranked[i].similarity;
      }
    }
  }
  return scratch.exactComputations;
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

// Vectors shaped as the weighting makes them: keyword i weighs (tf / M_i + 0.5) * ln(N / df_i),
// the vector divided by its length. Training articles count presence (tf 0 or 1), testing
// articles occurrences. Few keywords per article, as in headlines.
struct Corpus {
  std::vector<double> idf;
  std::vector<int> maxCount;
};

Corpus randomCorpus(std::mt19937_64& random, size_t keywords) {
  Corpus corpus;
  std::uniform_int_distribution<int> df(1, 500);
  std::uniform_int_distribution<int> m(1, 4);
  for (size_t i = 0; i < keywords; ++i) {
    corpus.idf.push_back(std::log(6000.0 / df(random)));
    corpus.maxCount.push_back(m(random));
  }
  return corpus;
}

WeightVector weightedVector(const Corpus& corpus, const std::vector<int>& tf) {
  WeightVector vector(corpus.idf.size());
  double sum = 0.0;
  for (size_t i = 0; i < vector.size(); ++i) {
    vector[i] = (static_cast<double>(tf[i]) / corpus.maxCount[i] + 0.5) * corpus.idf[i];
    sum += vector[i] * vector[i];
  }
  double length = std::sqrt(sum);
  for (double& w : vector) w /= length;
  return vector;
}

VsmModel shapedModel(std::mt19937_64& random, const Corpus& corpus, int count, int firstId,
                     bool counts, int topics) {
  const size_t keywords = corpus.idf.size();
  std::uniform_int_distribution<size_t> anyKeyword(0, keywords - 1);
  std::uniform_int_distribution<int> length(0, 8);
  std::uniform_int_distribution<int> topic(0, topics - 1);
  VsmModel model;
  for (int a = 0; a < count; ++a) {
    std::vector<int> tf(keywords, 0);
    // Words of the article's topic come from one slice of the keywords, so that neighbours
    // share keywords as real articles do.
    size_t slice = keywords / static_cast<size_t>(topics);
    size_t first = static_cast<size_t>(topic(random)) * slice;
    std::uniform_int_distribution<size_t> topicKeyword(first, first + slice - 1);
    for (int w = length(random); w > 0; --w) {
      size_t i = w % 3 == 0 ? anyKeyword(random) : topicKeyword(random);
      tf[i] = counts ? tf[i] + 1 : 1;
    }
    model[firstId + a] = weightedVector(corpus, tf);
  }
  return model;
}

// Every weight as the vector files keep it: printf's %g, read back.
VsmModel roundedAsInFiles(VsmModel model) {
  char text[32];
  for (auto& [id, vector] : model) {
    for (double& w : vector) {
      std::snprintf(text, sizeof text, "%g", w);
      w = std::strtod(text, nullptr);
    }
  }
  return model;
}

TEST(NeighbourIndexTest, RandomVectorsOfEverySignAndScale) {
  std::mt19937_64 random(7);
  for (int trainingCount : {1, 2, 9, 40}) {
    VsmModel training = randomModel(random, trainingCount, 37, 3);
    training.begin()->second.assign(37, 0.0);  // a zero vector among them
    VsmModel testing = randomModel(random, 6, 37, 100);
    std::vector<int> ks = {1};
    if (trainingCount > 2) ks = {1, 3, trainingCount};
    expectPlainRanking(training, testing, ks);
  }
}

TEST(NeighbourIndexTest, WeightedVectorsAreRankedExactlyWithFewPlainSums) {
  std::mt19937_64 random(11);
  Corpus corpus = randomCorpus(random, 300);
  VsmModel training = shapedModel(random, corpus, 2000, 1, false, 12);
  VsmModel testing = shapedModel(random, corpus, 60, 1, true, 12);
  // Built on three threads: several runs of rows, joined in order.
  size_t plainSums = expectPlainRanking(training, testing, {10}, 3);
  // The bounds must rule out most training vectors, or the index saves nothing.
  EXPECT_LT(plainSums, testing.size() * training.size() / 10);
}

TEST(NeighbourIndexTest, VectorsReadBackFromFilesAreRankedExactly) {
  std::mt19937_64 random(13);
  Corpus corpus = randomCorpus(random, 200);
  VsmModel training = roundedAsInFiles(shapedModel(random, corpus, 1500, 1, false, 8));
  VsmModel testing = roundedAsInFiles(shapedModel(random, corpus, 60, 1, true, 8));
  size_t plainSums = expectPlainRanking(training, testing, {1, 10, 25}, 2);
  EXPECT_LT(plainSums, 3 * testing.size() * training.size() / 10);
}

// Copies of training vectors and short articles make equal similarities at the K-th place; the
// lower id must come first, exactly as the stable ranking orders them.
TEST(NeighbourIndexTest, TiesAtTheKthPlaceGoToTheLowerIds) {
  std::mt19937_64 random(17);
  Corpus corpus = randomCorpus(random, 40);
  VsmModel training = shapedModel(random, corpus, 300, 1, false, 2);
  VsmModel copies;
  int next = 5000;
  for (const auto& [id, v] : training) {
    if (id % 3 == 0) copies[next++] = v;
    if (id % 5 == 0) copies[id + 100000] = v;
  }
  training.insert(copies.begin(), copies.end());
  VsmModel testing = shapedModel(random, corpus, 40, 1, true, 2);
  // An article without keywords is equally near to every empty training article.
  testing[999] = weightedVector(corpus, std::vector<int>(40, 0));
  training[7777] = weightedVector(corpus, std::vector<int>(40, 0));
  training[7778] = weightedVector(corpus, std::vector<int>(40, 0));
  expectPlainRanking(training, testing, {1, 2, 7, 10, 33});
  expectPlainRanking(roundedAsInFiles(training), roundedAsInFiles(testing), {1, 10, 33});
}

// Copies of one vector, each weight off by a rounding-sized share: the copies' similarities
// differ by less than the estimates can tell apart, so only the bounds keep the right ones.
TEST(NeighbourIndexTest, NearCopiesDifferingBelowTheEstimatesPrecision) {
  std::mt19937_64 random(29);
  std::uniform_real_distribution<double> noise(-4e-6, 4e-6);
  Corpus corpus = randomCorpus(random, 120);
  VsmModel originals = shapedModel(random, corpus, 30, 1, false, 3);
  VsmModel training;
  int id = 1;
  for (const auto& [originalId, vector] : originals) {
    for (int copy = 0; copy < 12; ++copy) {
      WeightVector noisy = vector;
      for (double& w : noisy) w *= 1.0 + noise(random);
      training[id++] = noisy;
    }
  }
  VsmModel testing = shapedModel(random, corpus, 40, 1, true, 3);
  expectPlainRanking(training, testing, {1, 3, 10});
}

// Negated articles give negative multiples of the shared vector on either side, so that the
// extremes of a chunk swap roles.
TEST(NeighbourIndexTest, NegativeMultiplesOnEitherSide) {
  std::mt19937_64 random(31);
  Corpus corpus = randomCorpus(random, 150);
  VsmModel training = shapedModel(random, corpus, 900, 1, false, 5);
  VsmModel testing = shapedModel(random, corpus, 40, 1, true, 5);
  for (VsmModel* model : {&training, &testing}) {
    for (auto& [id, vector] : *model) {
      if (id % 2 == 0) {
        for (double& w : vector) w = -w;
      }
    }
  }
  expectPlainRanking(training, testing, {1, 10});
}

// Sparse vectors (zero wherever an article lacks the keyword) share no base at all; vectors of
// extreme length fall outside the bounds' range and are compared in full.
TEST(NeighbourIndexTest, SparseZeroAndExtremeVectors) {
  std::mt19937_64 random(19);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  VsmModel training;
  VsmModel testing;
  for (int id = 1; id <= 400; ++id) {
    WeightVector vector(50, 0.0);
    for (int w = 0; w < 4; ++w) vector[static_cast<size_t>(uniform(random) * 50)] = uniform(random);
    (id <= 360 ? training : testing)[id] = vector;
  }
  training[1000] = WeightVector(50, 0.0);
  training[1001] = WeightVector(50, 1e-160);
  training[1002] = WeightVector(50, 1e120);
  testing[2000] = WeightVector(50, 1e-170);
  testing[2001] = WeightVector(50, 0.0);
  expectPlainRanking(training, testing, {1, 5, 30});
}

// Vectors with a few nonzero weights among hundreds (as tfidf makes them), some negative and
// some -0.0 among the zeros: the sums over the nonzero positions alone must be the plain ones.
TEST(NeighbourIndexTest, SparseTestingVectorsAreSummedExactly) {
  std::mt19937_64 random(29);
  std::uniform_real_distribution<double> weight(-0.2, 1.0);
  std::uniform_int_distribution<size_t> position(0, 399);
  auto sparseModel = [&](int count, int firstId) {
    VsmModel model;
    for (int i = 0; i < count; ++i) {
      WeightVector vector(400, 0.0);
      for (int w = 0; w < 3 + i % 6; ++w) vector[position(random)] = weight(random);
      for (int w = 0; w < 5; ++w) vector[position(random)] = -0.0;
      double sum = 0.0;
      for (double v : vector) sum += v * v;
      if (sum > 0.0) {
        for (double& v : vector) v /= std::sqrt(sum);
      }
      model[firstId + i] = vector;
    }
    return model;
  };
  const VsmModel training = sparseModel(900, 1);
  const VsmModel testing = sparseModel(80, 5000);
  expectPlainRanking(training, testing, {1, 10, 40}, 2);

  // Few training vectors and K = all of them: the ranking runs through the positive
  // similarities, every row at exactly 0 in id order (unshared ones, and shared ones that cancel
  // exactly: 0.5 * 0.5 + 0.5 * -0.5), and the negative ones.
  VsmModel small = sparseModel(60, 1);
  WeightVector cancelling(400, 0.0);
  cancelling[10] = 0.5;
  cancelling[20] = -0.5;
  small[30] = cancelling;
  small[31] = cancelling;
  WeightVector opposite(400, 0.0);
  opposite[10] = -1.0;
  small[45] = opposite;
  VsmModel probes = sparseModel(20, 7000);
  WeightVector probe(400, 0.0);
  probe[10] = 0.5;
  probe[20] = 0.5;
  probes[9000] = probe;
  expectPlainRanking(small, probes, {1, 30, 60}, 1);
}

TEST(NeighbourIndexTest, WholeTestSetsMatchTheRankingWithEveryK) {
  std::mt19937_64 random(23);
  Corpus corpus = randomCorpus(random, 64);
  VsmModel training = shapedModel(random, corpus, 200, 1, false, 4);
  VsmModel testing = shapedModel(random, corpus, 30, 1, true, 4);
  for (auto [k, threads] : {std::pair{1, 1}, {10, 4}, {200, 3}}) {
    auto expected = testing.begin();
    size_t visited = 0;
    forEachNeighbourList(training, testing, k,
                         [&](int32_t id, const std::vector<NeighbourEntry>& neighbours) {
                           ASSERT_EQ(id, expected->first);
                           std::vector<NeighbourEntry> ranked =
                               rankNeighbours(expected->second, training);
                           ASSERT_EQ(neighbours.size(), static_cast<size_t>(k));
                           for (int i = 0; i < k; ++i) {
                             EXPECT_EQ(neighbours[i].articleId, ranked[i].articleId);
                             EXPECT_TRUE(sameBits(neighbours[i].similarity, ranked[i].similarity));
                           }
                           ++expected;
                           ++visited;
                         },
                         threads);
    EXPECT_EQ(visited, testing.size());
  }
}

TEST(SharedBaseTest, DominantValueIsTheLargestClusterWithinTheTolerance) {
  std::vector<double> none;
  EXPECT_EQ(dominantValue(none), 0.0);
  std::vector<double> values = {3.0, 1.0, 1.000001, 0.999999, 7.0, 3.0};
  EXPECT_EQ(dominantValue(values), 1.0);
  std::vector<double> negative = {-2.0, -2.00001, -5.0};
  EXPECT_NEAR(dominantValue(negative), -2.0, 1e-4);
}

TEST(SharedBaseTest, FindsTheMultipleOfTheSharedVector) {
  // Three rows: twice, three times and once the base (1, 2, 4, 8), each departing at one
  // keyword of its own.
  std::vector<double> a = {2, 4, 8, 16 + 5}, b = {3, 6, 12 + 1, 24}, c = {1, 2 + 9, 4, 8};
  SharedBase shared = findSharedBase({a.data(), b.data(), c.data()}, 4);
  ASSERT_EQ(shared.base.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(shared.base[i] * shared.multiples[0], a[i] - (i == 3 ? 5 : 0));
    EXPECT_DOUBLE_EQ(shared.base[i] * shared.multiples[2], c[i] - (i == 1 ? 9 : 0));
  }
}

}  // namespace
}  // namespace newsclass
