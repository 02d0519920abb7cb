// Training-set vectors: one normalised TF-IDF vector for every id of the training range, taken
// from the dictionary alone. A training article's tf for a keyword is the number of the keyword's
// postings that carry the article's id, which is 1 when the article contains the keyword and 0
// otherwise: presence, not the posting's count.
#ifndef NEWSCLASS_VSM_TRAINING_VSM_H_
#define NEWSCLASS_VSM_TRAINING_VSM_H_

#include <cstdint>
#include <vector>

#include <string>

#include "base/stage_environment.h"
#include "dictionary/dictionary.h"
#include "vsm/keyword_weights.h"
#include "vsm/vsm_model.h"

namespace newsclass::vsm {

// Stores in `model` the vector of every id of [firstId, firstId + articleCount): weight i is
// table.weight(i, tf) with tf the number of postings of lists[i] (null: none) that carry the id,
// and the vector is normalised with normalizeInPlace. Entries already in the model for those ids
// are replaced. Stores nothing when there are no keywords or no articles. Each weight is the
// same double the formula gives, though every list is walked once rather than once per article.
// The vectors are made on up to `threads` threads; the model is the same for any number.
void addTrainingVectors(const std::vector<const PostingList*>& lists, const WeightTable& table,
                        int32_t firstId, int64_t articleCount, VsmModel& model, int threads = 1);

// The training vectors of the ids of `range` with `weighting`: addTrainingVectors for spec, and
// for tfidf the sparse vectors of tfidfTrainingVectors (df and N the table's) made dense. Stores
// nothing when there are no keywords. `range` may be a share of the training range, with the
// table of the whole range and `lists` holding at least the share's postings.
void addWeightedTrainingVectors(Weighting weighting, const std::vector<const PostingList*>& lists,
                                const WeightTable& table, ArticleRange range, VsmModel& model,
                                int threads = 1);

}  // namespace newsclass::vsm

namespace newsclass {

// The training-vector stage's timing line (UTF-8; printed in GBK). "共用了" here, "共耗时" for the
// testing vectors: both kept exactly, as scripts match them.
inline constexpr const char* kTrainingVectorsTimingLabel = "为训练语料库集合建立VSM模型共用了";

// The training vectors of every id of the training range with `weighting`, over the keywords of
// `keywordPath` and the dictionary's postings, added to `model` (replacing entries of the same
// ids); warns about keywords no article holds and writes the stage's timing line. Returns
// whether the model holds a vector.
bool buildTrainingVsm(const StageEnvironment& environment, ArticleRange range, Weighting weighting,
                      const Dictionary& dictionary, VsmModel& model,
                      const std::string& keywordPath);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_TRAINING_VSM_H_
