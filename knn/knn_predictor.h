// Labelling new text with the KNN model of a data folder: the keywords of keywords.dat weighted
// with dict.dat's statistics and the training range's N, exactly as the testing-vector stage
// weighs a testing article, then the K nearest vectors of trainingVSM.dat and the vote over
// their stored categories, exactly as classify decides.
#ifndef NEWSCLASS_KNN_KNN_PREDICTOR_H_
#define NEWSCLASS_KNN_KNN_PREDICTOR_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "corpusdb/odbc_connection.h"
#include "knn/neighbour_categories.h"
#include "knn/neighbour_index.h"
#include "processor/corpus_processor.h"
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

// One article's label: the winning category and its share of the K votes, every listed
// category's votes (highest first, ties in list order) and the neighbours in rank order.
struct KnnPrediction {
  std::string category;
  double score = 0.0;
  std::vector<CategoryVote> votes;
  std::vector<NeighbourEntry> neighbours;
};

class KnnPredictor {
 public:
  // Loads the files (DataFileError naming the one at fault), reads the training articles'
  // categories from the processor's database, and indexes the training vectors on the
  // environment's threads. UsageError when K does not fit the training vectors.
  KnnPredictor(CorpusProcessor& processor, const KnnPredictorFiles& files, int k,
               CategoryList categories);

  // Working memory of one thread's predictions.
  struct Scratch {
    std::unique_ptr<vsm::KeywordCounter> counter;
    std::unique_ptr<vsm::WrittenWeightRounder> rounder;
    NeighbourIndex::Scratch search;
  };
  Scratch makeScratch() const;

  // The testing-stage vector of an article's words (the tokeniser's result), with the
  // environment's weighting, each weight as testingVSM.dat would hold it (six significant
  // digits), so that a line gets the answer classify gives the same text as a testing article.
  // Empty when the words hold no keyword of the model, or every weight is 0: such a line has
  // no direction, and any neighbour would be a guess.
  WeightVector vectorOf(const WordList& words, Scratch& scratch) const;
  // The K nearest training vectors of a vector, in rank order. Thread-safe with a scratch each.
  void nearest(const WeightVector& vector, Scratch& scratch,
               std::vector<NeighbourEntry>& neighbours) const;
  // The vote over the neighbours' stored categories. Not thread-safe: it may query the
  // database.
  KnnPrediction decide(std::vector<NeighbourEntry> neighbours);

  int k() const { return k_; }

 private:
  CorpusProcessor& processor_;
  int k_;
  CategoryList categories_;
  std::vector<std::string> keywords_;
  std::unique_ptr<vsm::WeightTable> table_;
  std::vector<KeywordStatistic> statistics_;  // for the tfidf weighting
  int64_t collectionSize_ = 0;
  VsmModel training_;                          // loaded from the text, or
  std::unique_ptr<MappedVectorModel> mapped_;  // mapped from the cache
  std::unique_ptr<NeighbourIndex> index_;
  std::optional<OdbcConnection> connection_;
  std::optional<NeighbourCategories> stored_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_KNN_PREDICTOR_H_
