#include "vsm/tfidf_weights.h"

#include <cmath>

namespace newsclass::vsm {

double tfidfWeight(int32_t tf, int32_t documentFrequency, int64_t collectionSize) {
  if (tf <= 0 || documentFrequency <= 0) return 0.0;
  return (1.0 + std::log(static_cast<double>(tf))) *
         std::log(static_cast<double>(collectionSize) / static_cast<double>(documentFrequency));
}

void normalizeSparse(WeightedKeywordList& vector) {
  double sum = 0.0;
  for (const auto& [position, weight] : vector) sum += weight * weight;
  if (sum == 0.0) return;
  const double length = std::sqrt(sum);
  for (auto& entry : vector) entry.second = entry.second / length;
}

WeightVector denseOf(const WeightedKeywordList& vector, size_t size) {
  WeightVector dense(size, 0.0);
  for (const auto& [position, weight] : vector) dense[static_cast<size_t>(position)] = weight;
  return dense;
}

std::vector<WeightedKeywordList> tfidfTrainingVectors(
    const std::vector<const PostingList*>& lists, const std::vector<KeywordStatistic>& statistics,
    int32_t firstId, int64_t articleCount, int64_t collectionSize) {
  std::vector<WeightedKeywordList> vectors(
      static_cast<size_t>(articleCount > 0 ? articleCount : 0));
  // Keyword positions ascend as the lists are walked in order, so every article's entries come
  // out in index order; a list that repeats an id adds to the article's last entry.
  for (size_t position = 0; position < lists.size(); ++position) {
    if (lists[position] == nullptr) continue;
    for (const Posting& posting : *lists[position]) {
      const int64_t offset = static_cast<int64_t>(posting.articleId) - firstId;
      if (offset < 0 || offset >= articleCount) continue;
      WeightedKeywordList& vector = vectors[static_cast<size_t>(offset)];
      if (!vector.empty() && vector.back().first == static_cast<int32_t>(position)) {
        vector.back().second += posting.count;
      } else {
        vector.emplace_back(static_cast<int32_t>(position), posting.count);
      }
    }
  }
  // The entries hold summed counts so far; turn them into weights.
  for (WeightedKeywordList& vector : vectors) {
    for (auto& [position, weight] : vector) {
      const int32_t documentFrequency = statistics[static_cast<size_t>(position)].documentFrequency;
      weight = tfidfWeight(static_cast<int32_t>(weight), documentFrequency, collectionSize);
    }
    std::erase_if(vector, [](const auto& entry) { return entry.second == 0.0; });
    normalizeSparse(vector);
  }
  return vectors;
}

WeightedKeywordList tfidfTestingVector(const std::vector<KeywordStatistic>& statistics,
                                       const KeywordCounter& counter, int64_t collectionSize) {
  // Only the keywords the article holds can weigh anything, in ascending position as before.
  WeightedKeywordList vector;
  for (const auto& [position, tf] : counter.presentPositions()) {
    const double weight = tfidfWeight(tf, statistics[static_cast<size_t>(position)].documentFrequency,
                                      collectionSize);
    if (weight != 0.0) vector.emplace_back(position, weight);
  }
  normalizeSparse(vector);
  return vector;
}

}  // namespace newsclass::vsm
