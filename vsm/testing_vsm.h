// Testing-set vectors: the articles of a table's id range, segmented and weighted with the
// training dictionary's statistics and the training range's N, so that their vectors share
// positions, IDF factors and normalisation with the training vectors. Here tf is the number of
// times the keyword occurs among the article's words.
#ifndef NEWSCLASS_VSM_TESTING_VSM_H_
#define NEWSCLASS_VSM_TESTING_VSM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/stage_environment.h"
#include "dictionary/dictionary.h"
#include "corpusdb/odbc_connection.h"
#include "segmentation/parallel_tokenizing.h"
#include "segmentation/word_list.h"
#include "vsm/keyword_weights.h"
#include "vsm/vsm_model.h"

namespace newsclass::vsm {

// Counts the keywords among an article's words. A keyword listed twice shares one counter, so
// both of its positions get the same tf.
class KeywordCounter {
 public:
  // `keywords` must outlive the counter: its slots view the keyword texts.
  explicit KeywordCounter(const std::vector<std::string>& keywords);

  // Counts the keywords among `words`, forgetting the previous article's counts.
  void count(const WordList& words);

  // The count of keyword `position` (an index of the keyword list) in the last counted words.
  int32_t tf(size_t position) const {
    return counts_[static_cast<size_t>(positionSlot_[position])];
  }

  // Whether the last counted words hold any keyword.
  bool holdsAny() const { return !touched_.empty(); }

  // The positions of the keywords the last counted words hold, ascending, each with its count:
  // the work of an article's length, not of the keyword list's.
  std::vector<std::pair<int32_t, int32_t>> presentPositions() const;

 private:
  // Keys view the keyword list, which outlives the counter.
  std::unordered_map<std::string_view, int32_t> slotOf_;
  std::vector<int32_t> positionSlot_;
  std::vector<int32_t> counts_;
  std::vector<int32_t> touched_;        // slots counted since the last reset
  std::vector<size_t> slotStart_;       // slot -> first of its positions in slotPositions_
  std::vector<int32_t> slotPositions_;  // the positions of each slot, ascending
};

// The vector of the article `counter` counted last: weight i is table.weight(i, counter.tf(i)),
// normalised with normalizeInPlace. `table` and the counter's keyword list have the same length.
WeightVector testingVector(const WeightTable& table, const KeywordCounter& counter);

// The vector of the article `counter` counted last with `weighting`: testingVector for spec,
// the tfidf weights of tfidfTestingVector made dense for tfidf. `table` and `statistics` are
// the keywords' (N the training range's size, `collectionSize`).
WeightVector testingVectorOf(Weighting weighting, const WeightTable& table,
                             const std::vector<KeywordStatistic>& statistics,
                             const KeywordCounter& counter, int64_t collectionSize);

// The vector testingVector gives an article that holds none of the keywords (each weight the
// weight for tf = 0, normalised), as the vector files hold it (six significant digits): every
// such article's vector in testingVSM.dat, bit for bit.
WeightVector keywordlessTestingVector(const WeightTable& table);

// How the testing articles of `tableName` with ids firstId to lastId are tokenised: each id is
// read after its text is tokenised, under the "testing vectors" progress line (its total read
// over `connection` when a progress line is drawn).
TokenizingOptions testingTokenizingOptions(const StageEnvironment& environment,
                                           OdbcConnection& connection,
                                           const std::string& tableName, int32_t firstId,
                                           int32_t lastId);

// The testing vectors of the articles of `tableName` with ids firstId to lastId that hold text,
// cut into `terms` on the environment's threads and weighted with `weighting` over `keywords`
// and their `table` (the training dictionary's statistics and N); added to `model`. Starts and
// stops the segmenter.
void addTestingVectors(const StageEnvironment& environment, Weighting weighting, TermKinds terms,
                       int32_t firstId, int32_t lastId, const std::string& tableName,
                       const std::vector<std::string>& keywords, const WeightTable& table,
                       VsmModel& model);

}  // namespace newsclass::vsm

namespace newsclass {

// The testing-vector stage's timing line (UTF-8; printed in GBK), kept exactly: scripts match it.
inline constexpr const char* kTestingVectorsTimingLabel = "为测试集合建立VSM模型共耗时";


// The testing vectors of the articles of `tableName` with ids firstId to lastId that hold text,
// cut into `terms` on the environment's threads and weighted with `weighting` from the keywords of
// `keywordPath`, the dictionary's statistics and N, the size of the training range; added to
// `model`. Starts and stops the segmenter and writes the stage's timing line. Returns whether
// the model holds a vector.
bool buildTestingVsm(const StageEnvironment& environment, ArticleRange trainingRange,
                     Weighting weighting, TermKinds terms, int32_t firstId, int32_t lastId,
                     const std::string& tableName, const Dictionary& dictionary, VsmModel& model,
                     const std::string& keywordPath);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_TESTING_VSM_H_
