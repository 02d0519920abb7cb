#include "linear/neighbour_blend.h"

#include <algorithm>

namespace newsclass {

NeighbourBlend::NeighbourBlend(const std::vector<WeightedKeywordList>& vectors,
                               std::vector<int> classes, size_t featureCount, size_t classCount,
                               size_t k, double weight)
    : postings_(featureCount), classes_(std::move(classes)), classCount_(classCount), k_(k),
      weight_(weight) {
  for (size_t article = 0; article < vectors.size(); ++article) {
    for (const auto& [position, value] : vectors[article]) {
      if (value == 0.0 || position < 0 || static_cast<size_t>(position) >= featureCount) continue;
      postings_[static_cast<size_t>(position)].push_back({static_cast<uint32_t>(article), value});
    }
  }
}

NeighbourBlend::Scratch NeighbourBlend::makeScratch() const {
  Scratch scratch;
  scratch.similarity.assign(classes_.size(), 0.0);
  scratch.touchedOnce.assign(classes_.size(), 0);
  return scratch;
}

std::vector<std::pair<uint32_t, double>> NeighbourBlend::nearest(const WeightedKeywordList& vector,
                                                                 Scratch& scratch) const {
  if (scratch.similarity.size() != classes_.size()) scratch = makeScratch();
  scratch.touched.clear();
  // The terms in ascending position, each adding to the articles that hold it: every
  // similarity is summed in the same order, whatever the thread.
  WeightedKeywordList terms = vector;
  std::sort(terms.begin(), terms.end());
  for (const auto& [position, value] : terms) {
    if (value == 0.0 || position < 0 || static_cast<size_t>(position) >= postings_.size()) continue;
    for (const Posting& posting : postings_[static_cast<size_t>(position)]) {
      if (!scratch.touchedOnce[posting.article]) {
        scratch.touchedOnce[posting.article] = 1;
        scratch.touched.push_back(posting.article);
      }
      scratch.similarity[posting.article] += value * posting.weight;
    }
  }
  std::vector<std::pair<uint32_t, double>> found;
  found.reserve(scratch.touched.size());
  for (uint32_t article : scratch.touched) {
    found.emplace_back(article, scratch.similarity[article]);
    scratch.similarity[article] = 0.0;
    scratch.touchedOnce[article] = 0;
  }
  const auto closer = [](const std::pair<uint32_t, double>& a, const std::pair<uint32_t, double>& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  };
  const size_t kept = std::min(k_, found.size());
  std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(kept), found.end(),
                    closer);
  found.resize(kept);
  return found;
}

void NeighbourBlend::raise(const WeightedKeywordList& vector, std::vector<double>& values,
                           Scratch& scratch) const {
  const std::vector<std::pair<uint32_t, double>> neighbours = nearest(vector, scratch);
  std::vector<double> shares(classCount_, 0.0);
  double total = 0.0;
  for (const auto& [article, similarity] : neighbours) {
    const int c = classes_[article];
    if (c < 0 || static_cast<size_t>(c) >= classCount_) continue;
    shares[static_cast<size_t>(c)] += similarity;
    total += similarity;
  }
  if (!(total > 0.0)) return;
  for (size_t c = 0; c < classCount_ && c < values.size(); ++c) {
    values[c] += weight_ * (shares[c] / total);
  }
}

}  // namespace newsclass
