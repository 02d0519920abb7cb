#include "linear/linear_run.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/parallel.h"
#include "base/stage_clock.h"
#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "dictionary/dictionary_file.h"
#include "knn/category_check.h"
#include "knn/neighbour_categories.h"
#include "knn/neighbour_vote.h"
#include "segmentation/parallel_tokenizing.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"
#include "segmentation/tokenizer.h"
#include "vsm/keyword_weights.h"
#include "vsm/keywords.h"
#include "vsm/testing_vsm.h"
#include "vsm/tfidf_weights.h"

namespace newsclass {
std::vector<int> linearTrainingClasses(const StageEnvironment& environment, ArticleRange range,
                                       const std::vector<std::string>& categories) {
  std::vector<int32_t> ids(static_cast<size_t>(std::max<int64_t>(range.size(), 0)));
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<int32_t>(range.firstId + i);

  OdbcConnection connection(environment.connectionString, "trainLinearModel");
  const std::optional<NeighbourCategories> stored =
      NeighbourCategories::read(connection, kTrainingCorpusTable, ids);
  std::vector<int> classes(ids.size(), -1);
  std::vector<size_t> articlesOf(categories.size(), 0);
  for (size_t i = 0; i < ids.size(); ++i) {
    const std::vector<NeighbourEntry> one = {{ids[i], 0.0}};
    std::vector<std::string> found =
        stored ? stored->of(one)
               : queryNeighbourCategories(connection, articleCategoryQuery(kTrainingCorpusTable, ids[i]));
    if (found.empty()) continue;
    std::string category = found.front();
    trimInPlace(category, " ");
    const auto listed = std::find(categories.begin(), categories.end(), category);
    if (listed == categories.end()) continue;
    classes[i] = static_cast<int>(listed - categories.begin());
    ++articlesOf[static_cast<size_t>(classes[i])];
  }
  for (size_t c = 0; c < categories.size(); ++c) {
    if (articlesOf[c] > 0) continue;
    throw UsageError("--categories: " + textForMessages(environment, categories[c]) +
                     " has no training article in TrainingCorpus ids " +
                     std::to_string(range.firstId) + "-" + std::to_string(range.lastId) +
                     "; the linear classifier needs one for every category (leave it out of "
                     "--categories, or use --classifier knn)");
  }
  return classes;
}

LinearTrainingSet linearTrainingSet(ArticleRange range, const Dictionary& dictionary,
                                    const std::vector<std::string>& keywords,
                                    const std::vector<int>& classes) {
  const int64_t articleCount = range.size();
  const std::vector<const PostingList*> lists = vsm::findPostingLists(dictionary, keywords);
  std::vector<WeightedKeywordList> all = vsm::tfidfTrainingVectors(
      lists, vsm::statisticsOf(lists), range.firstId, articleCount, articleCount);
  LinearTrainingSet training;
  for (size_t i = 0; i < all.size() && i < classes.size(); ++i) {
    if (classes[i] < 0) continue;
    training.vectors.push_back(std::move(all[i]));
    training.classes.push_back(classes[i]);
  }
  return training;
}

LinearModel trainLinearModel(const LinearTrainingSet& training,
                             const std::vector<std::string>& keywords,
                             const LinearSettings& settings) {
  return LinearModel::train(training.vectors, training.classes, keywords.size(), settings);
}

int linearLabel(const LinearModel& model, const NeighbourBlend* blend,
                const WeightedKeywordList& vector, size_t classCount, std::vector<double>& values,
                NeighbourBlend::Scratch* scratch) {
  const int predicted = model.decide(vector, classCount, values);
  if (blend == nullptr || scratch == nullptr) return predicted;
  blend->raise(vector, values, *scratch);
  return static_cast<int>(std::max_element(values.begin(), values.end()) - values.begin());
}

std::vector<std::pair<std::string, double>> termContributions(
    const LinearModel& model, const WeightedKeywordList& vector,
    const std::vector<std::string>& keywords, int category, size_t limit) {
  std::vector<std::pair<std::string, double>> contributions;
  for (const auto& [position, weight] : vector) {
    if (weight == 0.0 || position < 0 || static_cast<size_t>(position) >= keywords.size()) continue;
    contributions.emplace_back(keywords[static_cast<size_t>(position)],
                               model.coefficient(position, category) * weight);
  }
  std::stable_sort(contributions.begin(), contributions.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  if (contributions.size() > limit) contributions.resize(limit);
  return contributions;
}

std::vector<std::pair<int32_t, WeightedKeywordList>> sparseTestingVectors(
    const StageEnvironment& environment, ArticleRange range, const Dictionary& dictionary,
    const std::vector<std::string>& keywords, TermKinds terms, int32_t firstId, int32_t lastId,
    const std::string& tableName) {
  static const std::string kTimingLabel = gbk(kTestingVectorsTimingLabel);
  StageClock clock;
  const std::vector<KeywordStatistic> statistics =
      vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords));
  const int64_t collectionSize = range.size();
  std::vector<std::pair<int32_t, WeightedKeywordList>> vectors;
  const StopWordSet stopWords = loadStopWords(environment);
  SegmenterSession segmenter(environment);
  {
    OdbcConnection connection(environment.connectionString, "buildTestingVsm");
    TokenizingOptions options =
        vsm::testingTokenizingOptions(environment, connection, tableName, firstId, lastId);
    options.terms = terms;
    RowCursor rows = connection.execute(articleRangeQuery(tableName, firstId, lastId));
    vsm::KeywordCounter counter(keywords);
    tokenizeRows(environment, rows, &tokenizeArticle, stopWords, options,
                 [&](TokenizedArticle& article) {
                   if (!article.hasText) return;
                   counter.count(article.words);
                   vectors.emplace_back(article.id, vsm::tfidfTestingVector(statistics, counter,
                                                                            collectionSize));
                 });
  }
  segmenter.stop();
  std::stable_sort(vectors.begin(), vectors.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  // A repeated id keeps its last article, as the testing model does.
  std::vector<std::pair<int32_t, WeightedKeywordList>> unique;
  for (auto& entry : vectors) {
    if (!unique.empty() && unique.back().first == entry.first) {
      unique.back() = std::move(entry);
    } else {
      unique.push_back(std::move(entry));
    }
  }
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
  return unique;
}

void linearClassify(const StageEnvironment& environment, const LinearModel& model,
                    const NeighbourBlend* blend,
                    const std::vector<std::pair<int32_t, WeightedKeywordList>>& vectors,
                    const std::vector<std::string>& categories, ClassificationResults& results) {
  static const std::string kTimingLabel = gbk("对测试集进行线性分类的时间为");
  StageClock clock;
  size_t keywordless = 0;
  for (const auto& [id, vector] : vectors) keywordless += !holdsWeight(vector);
  // Each vector is labelled on its own: the threads share the work, not the labels.
  std::vector<int> labels(vectors.size());
  const size_t lanes = static_cast<size_t>(std::max(1, environment.threads));
  std::vector<NeighbourBlend::Scratch> scratch(lanes);
  if (blend != nullptr) {
    for (auto& one : scratch) one = blend->makeScratch();
  }
  runInParallel(environment.threads, vectors.size(), [&](size_t i, size_t lane) {
    std::vector<double> values;
    labels[i] = linearLabel(model, blend, vectors[i].second, categories.size(), values,
                            &scratch[lane]);
  });
  for (size_t i = 0; i < vectors.size(); ++i) {
    results.push_back({vectors[i].first, categories.at(static_cast<size_t>(labels[i]))});
  }
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
  // Such an article's decision values are the biases alone: its label says nothing about it.
  if (keywordless > 0) {
    environment.warnings
        << "classification: " << keywordless << " of " << vectors.size()
        << " testing articles hold no keyword; their label is the one the model's biases favour\n";
  }
}

LinearPredictor::LinearPredictor(ArticleRange range, const std::string& dictionaryPath,
                                 const std::string& keywordPath, const std::string& modelPath,
                                 std::vector<std::string> categories, LinearLoss loss,
                                 const NeighbourBlendChoice* blend)
    : categories_(std::move(categories)),
      keywords_(readKeywords(keywordPath)),
      model_(LinearModel::load(modelPath, categories_.size(), loss)) {
  if (model_.featureCount() != keywords_.size()) {
    throw DataFileError(modelPath + ": the model has " + std::to_string(model_.featureCount()) +
                        " features, but " + keywordPath + " holds " +
                        std::to_string(keywords_.size()) +
                        " keywords (run classify --classifier linear again)");
  }
  Dictionary dictionary;
  loadDictionary(dictionary, dictionaryPath);
  statistics_ = vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords_));
  collectionSize_ = range.size();
  if (blend != nullptr) {
    const LinearTrainingSet training =
        linearTrainingSet(range, dictionary, keywords_, blend->classes());
    blend_.emplace(training.vectors, training.classes, keywords_.size(), categories_.size(),
                   blend->k, blend->weight);
  }
}

NeighbourBlend::Scratch LinearPredictor::makeBlendScratch() const {
  return blend_ ? blend_->makeScratch() : NeighbourBlend::Scratch();
}

std::unique_ptr<vsm::KeywordCounter> LinearPredictor::makeCounter() const {
  return std::make_unique<vsm::KeywordCounter>(keywords_);
}

bool holdsWeight(const WeightedKeywordList& vector) {
  return std::any_of(vector.begin(), vector.end(), [](const auto& entry) { return entry.second != 0.0; });
}

bool LinearPredictor::decide(const WordList& words, vsm::KeywordCounter& counter,
                             NeighbourBlend::Scratch& blendScratch, std::string& category,
                             std::vector<CategoryVote>& values,
                             std::vector<std::pair<std::string, double>>* explanation) const {
  counter.count(words);
  category.clear();
  values.clear();
  const WeightedKeywordList vector = vsm::tfidfTestingVector(statistics_, counter, collectionSize_);
  if (!holdsWeight(vector)) return false;
  std::vector<double> decisions;
  const int predicted = linearLabel(model_, blend_ ? &*blend_ : nullptr, vector,
                                    categories_.size(), decisions, &blendScratch);
  category = categories_.at(static_cast<size_t>(predicted));
  if (explanation != nullptr) {
    *explanation = termContributions(model_, vector, keywords_, predicted, kExplainedTerms);
  }
  if (model_.givesProbabilities()) model_.probabilities(vector, categories_.size(), decisions);
  for (size_t c = 0; c < categories_.size(); ++c) values.push_back({categories_[c], 0, decisions[c]});
  std::stable_sort(values.begin(), values.end(),
                   [](const CategoryVote& a, const CategoryVote& b) { return a.weight > b.weight; });
  return true;
}

}  // namespace newsclass
