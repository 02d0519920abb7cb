#include "knn/knn_predictor.h"

#include <utility>

#include "corpusdb/queries.h"
#include "driver/errors.h"
#include "knn/neighbour_vote.h"

namespace newsclass {

KnnPredictor::KnnPredictor(CorpusProcessor& processor, const KnnPredictorFiles& files, int k,
                           CategoryList categories)
    : processor_(processor), k_(k), categories_(std::move(categories)) {
  if (k < 1) throw UsageError("--k: K must be at least 1, got " + std::to_string(k));
  keywords_ = processor.readKeywords(files.keywords);
  if (keywords_.empty()) {
    throw DataFileError(files.keywords + ": holds no keywords (run select-features first)");
  }
  {
    // Only the keywords' statistics are kept, not the dictionary.
    Dictionary dictionary;
    processor.loadDictionary(dictionary, files.dictionary);
    const int64_t collectionSize =
        static_cast<int64_t>(processor.lastArticleId) - processor.firstArticleId + 1;
    table_ = std::make_unique<vsm::WeightTable>(
        vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords_)), collectionSize);
  }
  processor.loadVsm(training_, files.trainingVsm);
  if (training_.empty()) {
    throw DataFileError(files.trainingVsm + ": holds no training vectors (run build-vectors first)");
  }
  checkKnnRequest(k, categories_, training_.size());
  const size_t dimension = checkTrainingModel(training_);
  if (dimension != keywords_.size()) {
    throw DataFileError(files.trainingVsm + ": its vectors have " + std::to_string(dimension) +
                        " weights, but " + files.keywords + " holds " +
                        std::to_string(keywords_.size()) +
                        " keywords (run build-vectors again)");
  }
  index_ = std::make_unique<NeighbourIndex>(training_, processor.environment().threads);
  connection_.emplace(processor.environment().connectionString, "predict");
  stored_ = NeighbourCategories::read(*connection_, "TrainingCorpus", index_->ids());
}

KnnPredictor::Scratch KnnPredictor::makeScratch() const {
  Scratch scratch;
  scratch.counter = std::make_unique<vsm::KeywordCounter>(keywords_);
  return scratch;
}

WeightVector KnnPredictor::vectorOf(const WordList& words, Scratch& scratch) const {
  scratch.counter->count(words);
  return vsm::testingVector(*table_, *scratch.counter);
}

void KnnPredictor::nearest(const WeightVector& vector, Scratch& scratch,
                           std::vector<NeighbourEntry>& neighbours) const {
  index_->nearest(vector, k_, scratch.search, neighbours);
}

KnnPrediction KnnPredictor::decide(std::vector<NeighbourEntry> neighbours) {
  KnnPrediction prediction;
  prediction.votes = tallyVotes(
      stored_ ? stored_->of(neighbours)
              : queryNeighbourCategories(
                    *connection_, neighbourCategoriesQuery(
                                      "TrainingCorpus", formatIdList(neighbours, neighbours.size()))),
      categories_);
  prediction.category = prediction.votes.front().category;
  prediction.score = static_cast<double>(prediction.votes.front().votes) / k_;
  prediction.neighbours = std::move(neighbours);
  return prediction;
}

}  // namespace newsclass
