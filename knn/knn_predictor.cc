#include "knn/knn_predictor.h"

#include <algorithm>
#include <utility>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/stage_clock.h"
#include "corpusdb/queries.h"
#include "dictionary/dictionary_file.h"
#include "knn/neighbour_vote.h"
#include "vsm/keywords.h"
#include "vsm/tfidf_weights.h"
#include "vsm/vector_file.h"

namespace newsclass {

KnnPredictor::KnnPredictor(const StageEnvironment& environment, ArticleRange range,
                           const KnnPredictorFiles& files, int k, Weighting weighting,
                           bool similarityVote, std::vector<std::string> categories)
    : k_(k), weighting_(weighting), similarityVote_(similarityVote),
      categories_(std::move(categories)) {
  if (k < 1) throw UsageError("--k: K must be at least 1, got " + std::to_string(k));
  keywords_ = readKeywords(files.keywords);
  if (keywords_.empty()) {
    throw DataFileError(files.keywords + ": holds no keywords (run select-features first)");
  }
  {
    // Only the keywords' statistics are kept, not the dictionary.
    Dictionary dictionary;
    loadDictionary(dictionary, files.dictionary);
    statistics_ = vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords_));
    collectionSize_ = range.size();
    table_ = std::make_unique<vsm::WeightTable>(statistics_, collectionSize_);
  }
  // The training vectors come from their binary cache when it stands for trainingVSM.dat, and
  // from the text otherwise (which then refreshes the cache): the same weights either way.
  const std::string cacheFolder = vectorCacheFolder();
  VectorFileStamp stamp;
  const bool cacheable = !cacheFolder.empty() && stampVectorFile(files.trainingVsm, stamp);
  const std::string cacheFile = cacheable ? vectorCacheFile(cacheFolder, stamp.path) : "";
  if (cacheable) {
    StageClock clock;
    mapped_ = loadVectorCache(cacheFile, stamp);
    if (mapped_) {
      environment.console->timingLine(gbk("加载VSM模型到内存的时间为"), clock.elapsedSeconds());
    }
  }
  size_t count = 0;
  size_t dimension = 0;
  if (mapped_) {
    count = mapped_->size();
    dimension = mapped_->dimension();
  } else {
    loadVsm(environment, training_, files.trainingVsm);
    count = training_.size();
    if (count > 0) dimension = checkTrainingModel(training_);
  }
  if (count == 0) {
    throw DataFileError(files.trainingVsm + ": holds no training vectors (run build-vectors first)");
  }
  checkKnnRequest(k, categories_, count);
  if (dimension != keywords_.size()) {
    throw DataFileError(files.trainingVsm + ": its vectors have " + std::to_string(dimension) +
                        " weights, but " + files.keywords + " holds " +
                        std::to_string(keywords_.size()) +
                        " keywords (run build-vectors again)");
  }
  if (cacheable && !mapped_) {
    try {
      saveVectorCache(cacheFile, stamp, training_);
    } catch (const DataFileError& error) {
      environment.warnings << error.what() << "; predict reads trainingVSM.dat itself\n";
    }
  }
  const int threads = environment.threads;
  index_ = mapped_ ? std::make_unique<NeighbourIndex>(mapped_->ids(), mapped_->rows(), dimension, threads)
                   : std::make_unique<NeighbourIndex>(training_, threads);
  connection_.emplace(environment.connectionString, "predict");
  stored_ = NeighbourCategories::read(*connection_, kTrainingCorpusTable, index_->ids());
}

KnnPredictor::Scratch KnnPredictor::makeScratch() const {
  Scratch scratch;
  scratch.counter = std::make_unique<vsm::KeywordCounter>(keywords_);
  scratch.rounder = std::make_unique<vsm::WrittenWeightRounder>();
  return scratch;
}

WeightVector KnnPredictor::vectorOf(const WordList& words, Scratch& scratch) const {
  scratch.counter->count(words);
  if (!scratch.counter->holdsAny()) return {};
  WeightVector vector =
      weighting_ == Weighting::kTfidf
          ? vsm::denseOf(vsm::tfidfTestingVector(statistics_, *scratch.counter, collectionSize_),
                         keywords_.size())
          : vsm::testingVector(*table_, *scratch.counter);
  if (std::all_of(vector.begin(), vector.end(), [](double w) { return w == 0.0; })) return {};
  scratch.rounder->roundInPlace(vector);
  return vector;
}

void KnnPredictor::nearest(const WeightVector& vector, Scratch& scratch,
                           std::vector<NeighbourEntry>& neighbours) const {
  index_->nearest(vector, k_, scratch.search, neighbours);
}

std::vector<CategoryVote> KnnPredictor::vote(const std::vector<NeighbourEntry>& neighbours) const {
  // One connection serves every thread: without the categories read at loading, one asks at a
  // time.
  std::unique_lock<std::mutex> asking(connectionMutex_, std::defer_lock);
  if (!stored_) asking.lock();
  if (similarityVote_) {
    return tallySimilarityVotes(
        stored_ ? stored_->withSimilarities(neighbours)
                : queryEachNeighbourCategory(*connection_, kTrainingCorpusTable, neighbours),
        categories_);
  }
  return tallyVotes(
      stored_ ? stored_->of(neighbours)
              : queryNeighbourCategories(
                    *connection_, neighbourCategoriesQuery(
                                      kTrainingCorpusTable, formatIdList(neighbours, neighbours.size()))),
      categories_);
}

}  // namespace newsclass
