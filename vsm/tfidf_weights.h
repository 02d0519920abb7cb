// The sparse TF-IDF weighting that --weighting tfidf selects and the linear classifier learns
// from: a keyword's weight in an article is (1 + ln tf) * ln(N / df) where the article holds the
// keyword (tf > 0), and 0 elsewhere; each vector is then scaled to unit length. df is the
// keyword's number of postings in the training dictionary and N the size of the training range,
// as for the default weighting. Training articles take tf from the counts in the dictionary's
// postings, testing articles from their own words.
#ifndef NEWSCLASS_VSM_TFIDF_WEIGHTS_H_
#define NEWSCLASS_VSM_TFIDF_WEIGHTS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dictionary/dictionary.h"
#include "vsm/testing_vsm.h"
#include "vsm/vsm_model.h"

namespace newsclass::vsm {

// (1 + ln tf) * ln(N / df); 0 when tf or df is 0 or less.
double tfidfWeight(int32_t tf, int32_t documentFrequency, int64_t collectionSize);

// Divides every weight by the square root of the sum of their squares, summed in index order,
// which gives the same doubles as normalizeInPlace on the dense vector. A vector whose sum is 0
// stays as it is.
void normalizeSparse(WeightedKeywordList& vector);

// The dense vector of `size` weights that `vector` describes; positions it lacks weigh 0.
WeightVector denseOf(const WeightedKeywordList& vector, size_t size);

// The normalised tfidf vector of every id of [firstId, firstId + articleCount), in id order.
// An article's tf for keyword i is the sum of the counts of the postings of lists[i] (null: none)
// that carry its id; df is statistics[i]'s, the length of the keyword's list over the whole
// training range (which `lists` may hold only a share of). Keywords the article lacks are left
// out.
std::vector<WeightedKeywordList> tfidfTrainingVectors(
    const std::vector<const PostingList*>& lists, const std::vector<KeywordStatistic>& statistics,
    int32_t firstId, int64_t articleCount, int64_t collectionSize);

// The normalised tfidf vector of the article `counter` counted last; `statistics` gives each
// keyword's df, in keyword order.
WeightedKeywordList tfidfTestingVector(const std::vector<KeywordStatistic>& statistics,
                                       const KeywordCounter& counter, int64_t collectionSize);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_TFIDF_WEIGHTS_H_
