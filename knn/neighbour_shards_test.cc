#include "knn/neighbour_shards.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "knn/test_set_run.h"

namespace newsclass {
namespace {

// Training vectors of ids 1..count with many exact ties: weights from a few values, so that
// different articles often have the same vector and the same similarity to a testing vector.
VsmModel tiedModel(std::mt19937_64& random, int firstId, int count, size_t weights) {
  std::uniform_int_distribution<int> pick(0, 3);
  const double values[] = {0.0, 0.25, 0.5, 1.0};
  VsmModel model;
  for (int i = 0; i < count; ++i) {
    WeightVector vector(weights);
    for (double& w : vector) w = values[pick(random)];
    model[firstId + i] = vector;
  }
  return model;
}

// The lists one search over the whole model gives, in ascending testing id.
std::vector<std::vector<NeighbourEntry>> wholeLists(const VsmModel& training,
                                                    const VsmModel& testing, int k) {
  std::vector<std::vector<NeighbourEntry>> lists;
  forEachNeighbourList(training, testing, k,
                       [&](int32_t, const std::vector<NeighbourEntry>& n) { lists.push_back(n); });
  return lists;
}

// Splits `training` into shards of consecutive ids with the given sizes (0: an empty shard).
std::vector<VsmModel> shardsOf(const VsmModel& training, const std::vector<size_t>& sizes) {
  std::vector<VsmModel> shards(sizes.size());
  auto it = training.begin();
  for (size_t s = 0; s < sizes.size(); ++s) {
    for (size_t i = 0; i < sizes[s]; ++i, ++it) shards[s].insert(*it);
  }
  EXPECT_EQ(it, training.end());
  return shards;
}

TEST(NeighbourShards, MergedShardListsEqualTheWholeSearchBitForBitTiesIncluded) {
  std::mt19937_64 random(7);
  const VsmModel training = tiedModel(random, 1, 60, 5);
  const VsmModel testing = tiedModel(random, 1000, 25, 5);
  for (const std::vector<size_t>& sizes :
       std::vector<std::vector<size_t>>{{60}, {30, 30}, {20, 20, 20}, {16, 15, 15, 14},
                                        {3, 0, 57}, {59, 1, 0, 0}}) {
    const std::vector<VsmModel> shards = shardsOf(training, sizes);
    for (int k : {1, 5, 17, 60}) {
      std::vector<std::string> messages;
      for (const VsmModel& shard : shards) {
        messages.push_back(shardNeighbourLists(shard, testing, k, 2));
      }
      const auto merged = mergeNeighbourLists(messages, testing.size(), k);
      const auto whole = wholeLists(training, testing, k);
      ASSERT_EQ(merged.size(), whole.size());
      for (size_t t = 0; t < whole.size(); ++t) {
        ASSERT_EQ(merged[t].size(), whole[t].size()) << "k " << k << " testing " << t;
        for (size_t i = 0; i < whole[t].size(); ++i) {
          EXPECT_EQ(merged[t][i].articleId, whole[t][i].articleId)
              << "shards " << sizes.size() << " k " << k << " testing " << t << " rank " << i;
          EXPECT_EQ(std::memcmp(&merged[t][i].similarity, &whole[t][i].similarity,
                                sizeof(double)),
                    0);
        }
      }
    }
  }
}

TEST(NeighbourShards, AnEmptyShardGivesEmptyListsAndAMismatchedMessageIsRefused) {
  std::mt19937_64 random(3);
  const VsmModel testing = tiedModel(random, 1, 4, 3);
  const std::string empty = shardNeighbourLists(VsmModel(), testing, 5, 1);
  const auto merged = mergeNeighbourLists({empty}, testing.size(), 5);
  ASSERT_EQ(merged.size(), 4u);
  for (const auto& list : merged) EXPECT_TRUE(list.empty());
  EXPECT_THROW(mergeNeighbourLists({empty}, 3, 5), std::runtime_error);
  EXPECT_THROW(mergeNeighbourLists({empty.substr(0, empty.size() - 1)}, 4, 5),
               std::runtime_error);
}

TEST(NeighbourShards, RanksBeforeOrdersBySimilarityThenId) {
  EXPECT_TRUE(ranksBefore({9, 0.5}, {1, 0.25}));
  EXPECT_TRUE(ranksBefore({1, 0.5}, {2, 0.5}));
  EXPECT_FALSE(ranksBefore({2, 0.5}, {1, 0.5}));
  // +0 and -0 are the same similarity: the lower id goes first.
  EXPECT_TRUE(ranksBefore({1, -0.0}, {2, 0.0}));
}

}  // namespace
}  // namespace newsclass
