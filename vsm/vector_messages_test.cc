#include "vsm/vector_messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "vsm/training_vsm.h"

namespace newsclass::vsm {
namespace {

TEST(VectorMessages, VectorsComeBackWithTheirExactBits) {
  const VsmModel model = {
      {-3, {0.1, -0.0, std::numeric_limits<double>::denorm_min(), 1e308}},
      {7, {}},
      {2147483647, {0.30000000000000004}},
  };
  VsmModel back = {{100, {1.0}}};
  unpackVectors(packVectors(model), back);
  ASSERT_EQ(back.size(), 4u);
  for (const auto& [id, weights] : model) {
    ASSERT_EQ(back.at(id).size(), weights.size());
    for (size_t i = 0; i < weights.size(); ++i) {
      EXPECT_EQ(std::memcmp(&back.at(id)[i], &weights[i], sizeof(double)), 0) << id << " " << i;
    }
  }
}

TEST(VectorMessages, KeywordWeightingRoundTrips) {
  KeywordWeighting weighting{{"\xd6\xd0", "b", ""}, {{3, 10}, {0, 0}, {1, 1}}, 6000};
  const KeywordWeighting back = unpackKeywordWeighting(packKeywordWeighting(weighting));
  EXPECT_EQ(back.keywords, weighting.keywords);
  EXPECT_EQ(back.statistics, weighting.statistics);
  EXPECT_EQ(back.collectionSize, 6000);
}

// Each share of the training range, weighted with the statistics of the whole range and only
// its own postings, gives the vectors the whole range gives those ids.
TEST(VectorMessages, TrainingVectorsBuiltInSharesEqualTheWhole) {
  const PostingList k0 = {{1, 2}, {3, 1}, {4, 1}, {9, 5}};
  const PostingList k1 = {{2, 1}, {3, 3}, {3, 1}, {10, 2}};
  const PostingList k2 = {{5, 1}};
  const std::vector<const PostingList*> lists = {&k0, &k1, nullptr, &k2};
  const ArticleRange range{1, 10};
  const WeightTable table(statisticsOf(lists), range.size());
  for (Weighting weighting : {Weighting::kSpec, Weighting::kTfidf}) {
    VsmModel whole;
    addWeightedTrainingVectors(weighting, lists, table, range, whole);
    VsmModel shares;
    for (ArticleRange share : {ArticleRange{1, 3}, ArticleRange{4, 4}, ArticleRange{5, 10}}) {
      // Only the share's postings, as a rank's own dictionary holds them.
      std::vector<PostingList> own(lists.size());
      std::vector<const PostingList*> ownLists;
      for (size_t i = 0; i < lists.size(); ++i) {
        if (lists[i] == nullptr) {
          ownLists.push_back(nullptr);
          continue;
        }
        for (const Posting& p : *lists[i]) {
          if (p.articleId >= share.firstId && p.articleId <= share.lastId) own[i].push_back(p);
        }
        ownLists.push_back(&own[i]);
      }
      VsmModel part;
      addWeightedTrainingVectors(weighting, ownLists, table, share, part);
      unpackVectors(packVectors(part), shares);
    }
    ASSERT_EQ(shares.size(), whole.size());
    for (const auto& [id, weights] : whole) {
      ASSERT_EQ(shares.at(id).size(), weights.size());
      EXPECT_EQ(std::memcmp(shares.at(id).data(), weights.data(), weights.size() * sizeof(double)),
                0)
          << "id " << id << (weighting == Weighting::kTfidf ? " tfidf" : " spec");
    }
  }
}

}  // namespace
}  // namespace newsclass::vsm
