// Vector space models: one TF-IDF weight vector per article id, weight i belonging to keyword i
// of the keyword file, in ascending article id.
#ifndef NEWSCLASS_VSM_VSM_MODEL_H_
#define NEWSCLASS_VSM_VSM_MODEL_H_

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace newsclass {

using WeightVector = std::vector<double>;
using VsmModel = std::map<int32_t, WeightVector>;

// (keyword index, weight) pairs in ascending index: one article's vector while it is built.
using WeightedKeywordList = std::vector<std::pair<int32_t, double>>;

// How a keyword's weight is computed (--weighting). kSpec: (tf / M + 0.5) * ln(N / df) over
// every keyword, training articles counting presence; kTfidf: (1 + ln tf) * ln(N / df) for the
// keywords an article holds and 0 elsewhere, training articles counting occurrences
// (vsm/tfidf_weights.h). Both normalise to unit length.
enum class Weighting { kSpec, kTfidf };

// The form a vector file is written in (--vector-format): the text form of vsm/vector_file.h,
// or the binary form of vsm/binary_vector_file.h, which loads as the same doubles.
enum class VectorFormat { kText, kBinary };

// Per keyword: M, the greatest count among its postings, and df, its number of postings.
struct KeywordStatistic {
  int32_t maxCount = 0;
  int32_t documentFrequency = 0;
  bool operator==(const KeywordStatistic&) const = default;
};

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_VSM_MODEL_H_
