// Labelling new text with the KNN model of a data folder: the keywords of keywords.dat weighted
// with dict.dat's statistics and the training range's N, exactly as the testing-vector stage
// weighs a testing article, then the K nearest vectors of trainingVSM.dat and the vote over
// their stored categories, exactly as classify decides.
#ifndef NEWSCLASS_KNN_KNN_PREDICTOR_H_
#define NEWSCLASS_KNN_KNN_PREDICTOR_H_

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/stage_environment.h"
#include "corpusdb/odbc_connection.h"
#include "knn/neighbour_categories.h"
#include "knn/neighbour_index.h"
#include "segmentation/word_list.h"
#include "vsm/keyword_weights.h"
#include "vsm/testing_vsm.h"
#include "vsm/vector_cache.h"
#include "vsm/written_weights.h"

namespace newsclass {

struct KnnPredictorFiles {
  std::string dictionary;   // dict.dat
  std::string keywords;     // keywords.dat
  std::string trainingVsm;  // trainingVSM.dat
};

class KnnPredictor {
 public:
  // Loads the files (DataFileError naming the one at fault), reads the stored categories of
  // the training vectors' articles from the environment's database, and indexes the training
  // vectors on the environment's threads. `range` is the training range, whose size N weighs
  // the keywords; `weighting` weighs the words of new text, and `similarityVote` makes the
  // neighbours vote with their similarities. UsageError when K does not fit the training
  // vectors. Loading lines go to the environment's console; nothing of it is kept.
  KnnPredictor(const StageEnvironment& environment, ArticleRange range,
               const KnnPredictorFiles& files, int k, Weighting weighting, bool similarityVote,
               std::vector<std::string> categories);

  // Working memory of one thread's predictions.
  struct Scratch {
    std::unique_ptr<vsm::KeywordCounter> counter;
    std::unique_ptr<vsm::WrittenWeightRounder> rounder;
    NeighbourIndex::Scratch search;
  };
  Scratch makeScratch() const;

  // The testing-stage vector of an article's words (the tokeniser's result), with the
  // weighting, each weight as testingVSM.dat would hold it (six significant digits), so that a
  // line gets the answer classify gives the same text as a testing article. Empty when the
  // words hold no keyword of the model, or every weight is 0: such a line has no direction,
  // and any neighbour would be a guess.
  WeightVector vectorOf(const WordList& words, Scratch& scratch) const;
  // The K nearest training vectors of a vector, in rank order. Thread-safe with a scratch each.
  void nearest(const WeightVector& vector, Scratch& scratch,
               std::vector<NeighbourEntry>& neighbours) const;
  // The vote over the neighbours' stored categories: every listed category's votes, highest
  // first, ties in list order, so that the first is the label (neighbour_vote.h). Thread-safe:
  // the categories read at loading are shared, and the database (asked when they could not be
  // read in one go) is asked by one thread at a time.
  std::vector<CategoryVote> vote(const std::vector<NeighbourEntry>& neighbours) const;

  int k() const { return k_; }
  bool similarityVote() const { return similarityVote_; }

 private:
  int k_;
  Weighting weighting_;
  bool similarityVote_;
  std::vector<std::string> categories_;
  std::vector<std::string> keywords_;
  std::unique_ptr<vsm::WeightTable> table_;
  std::vector<KeywordStatistic> statistics_;  // for the tfidf weighting
  int64_t collectionSize_ = 0;
  VsmModel training_;                          // loaded from the text, or
  std::unique_ptr<MappedVectorModel> mapped_;  // mapped from the cache
  std::unique_ptr<NeighbourIndex> index_;
  std::optional<NeighbourCategories> stored_;
  // The database, for neighbours whose categories were not read at loading.
  mutable std::mutex connectionMutex_;
  mutable std::optional<OdbcConnection> connection_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_KNN_PREDICTOR_H_
