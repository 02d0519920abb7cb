// Raising a linear model's decision values by what the nearest training articles say. News
// headlines come in families (the same story told again, the same template with other names),
// and a headline's nearest training headlines know its family better than one weight per term
// does: adding weight x the neighbours' similarity share of each category to its decision
// value lifts the macro F1 of headline corpora by about half a point. On long articles and on
// small sets of titles it costs a little, so it is a choice, off by default.
#ifndef NEWSCLASS_LINEAR_NEIGHBOUR_BLEND_H_
#define NEWSCLASS_LINEAR_NEIGHBOUR_BLEND_H_

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "vsm/vsm_model.h"

namespace newsclass {

class NeighbourBlend {
 public:
  // Working memory of one thread's searches.
  struct Scratch {
    std::vector<double> similarity;  // per training article, 0 between searches
    std::vector<char> touchedOnce;   // per training article, whether it is in `touched`
    std::vector<uint32_t> touched;   // the training articles a search gave a similarity
  };

  // Indexes the training articles' unit-length vectors (feature positions below featureCount)
  // with their classes (0 .. classCount - 1); `k` neighbours vote, their shares weighing `weight`.
  NeighbourBlend(const std::vector<WeightedKeywordList>& vectors, std::vector<int> classes,
                 size_t featureCount, size_t classCount, size_t k, double weight);

  Scratch makeScratch() const;

  // The K training articles most similar to `vector` (the dot product: both are unit length),
  // most similar first, ties to the article indexed first; only articles that share a term
  // with it. Each as (training position, similarity).
  std::vector<std::pair<uint32_t, double>> nearest(const WeightedKeywordList& vector,
                                                   Scratch& scratch) const;

  // Adds weight x share to each class's value: a class's share is its neighbours'
  // similarities over all K neighbours' similarities (0 for every class without neighbours).
  void raise(const WeightedKeywordList& vector, std::vector<double>& values, Scratch& scratch) const;

  double weight() const { return weight_; }
  size_t k() const { return k_; }

 private:
  struct Posting {
    uint32_t article;
    double weight;
  };
  std::vector<std::vector<Posting>> postings_;  // per feature, articles in indexing order
  std::vector<int> classes_;
  size_t classCount_;
  size_t k_;
  double weight_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_LINEAR_NEIGHBOUR_BLEND_H_
