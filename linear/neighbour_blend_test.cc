#include "linear/neighbour_blend.h"

#include <gtest/gtest.h>

#include <vector>

namespace newsclass {
namespace {

// Four unit-length training articles over three features, classes 0, 1, 1, 0.
class NeighbourBlendTest : public ::testing::Test {
 protected:
  std::vector<WeightedKeywordList> vectors = {
      {{0, 1.0}}, {{0, 0.6}, {1, 0.8}}, {{1, 1.0}}, {{0, 0.6}, {1, 0.8}}};
  NeighbourBlend blend{vectors, {0, 1, 1, 0}, 3, 2, 2, 0.5};
  NeighbourBlend::Scratch scratch = blend.makeScratch();
};

TEST_F(NeighbourBlendTest, NearestAreTheHighestDotProductsTiesToTheArticleIndexedFirst) {
  // Articles 1 and 3 tie at 0.6 * 0.6 + 0.8 * 0.8 = 1; article 0 has 0.6, article 2 0.8.
  const auto nearest = blend.nearest({{0, 0.6}, {1, 0.8}}, scratch);
  ASSERT_EQ(nearest.size(), 2u);
  EXPECT_EQ(nearest[0].first, 1u);
  EXPECT_EQ(nearest[1].first, 3u);
  EXPECT_DOUBLE_EQ(nearest[0].second, 1.0);
  // The scratch is clean again: the same search gives the same answer.
  EXPECT_EQ(blend.nearest({{0, 0.6}, {1, 0.8}}, scratch), nearest);
  // Only articles that share a term are neighbours.
  EXPECT_TRUE(blend.nearest({{2, 1.0}}, scratch).empty());
  const auto one = blend.nearest({{0, 1.0}}, scratch);
  ASSERT_EQ(one.size(), 2u);
  EXPECT_EQ(one[0].first, 0u);
  EXPECT_EQ(one[1].first, 1u);  // 0.6, tied with article 3
}

TEST_F(NeighbourBlendTest, EachClassGainsTheWeightTimesItsSimilarityShare) {
  // Neighbours of (1, 0): article 0 (class 0, 1.0) and article 1 (class 1, 0.6).
  std::vector<double> values = {0.25, -0.5};
  blend.raise({{0, 1.0}}, values, scratch);
  EXPECT_DOUBLE_EQ(values[0], 0.25 + 0.5 * (1.0 / 1.6));
  EXPECT_DOUBLE_EQ(values[1], -0.5 + 0.5 * (0.6 / 1.6));
  // No neighbour: the values stay as they were.
  std::vector<double> alone = {0.25, -0.5};
  blend.raise({{2, 1.0}}, alone, scratch);
  EXPECT_EQ(alone, (std::vector<double>{0.25, -0.5}));
}

}  // namespace
}  // namespace newsclass
