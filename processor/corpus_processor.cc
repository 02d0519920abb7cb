// Every operation of the processor hands its arguments, with the training range and the parts
// of the environment the stage needs, to the stage's free function of the same name.
#include "processor/corpus_processor.h"

#include <stdexcept>

#include "base/stage_clock.h"
#include "base/text_utils.h"
#include "contingency/category_articles.h"
#include "contingency/contingency_build.h"
#include "contingency/contingency_file.h"
#include "contingency/df_selection.h"
#include "dictionary/dictionary_build.h"
#include "dictionary/dictionary_file.h"
#include "evaluation/evaluation.h"
#include "features/category_counts.h"
#include "features/feature_selection.h"
#include "features/measures.h"
#include "features/word_ranking.h"
#include "knn/knn_classify.h"
#include "knn/similarity.h"
#include "knn/test_set_run.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"
#include "segmentation/text_conversion.h"
#include "vsm/keywords.h"
#include "vsm/testing_vsm.h"
#include "vsm/training_vsm.h"
#include "vsm/vector_file.h"

namespace newsclass {

CorpusProcessor::CorpusProcessor(int32_t first, int32_t last, Environment& environment)
    : firstArticleId(first), lastArticleId(last), environment_(&environment) {}

// --- Text utilities ---

std::string CorpusProcessor::intToString(int32_t value) const { return formatInt(value); }

std::string CorpusProcessor::doubleToString(double value, unsigned n) const {
  return cutDecimals(value, n);
}

// --- Segmenter and tokenisation ---

void CorpusProcessor::startSegmenter() { newsclass::startSegmenter(environment()); }

void CorpusProcessor::stopSegmenter() { newsclass::stopSegmenter(environment()); }

void CorpusProcessor::trim(std::string& text, const std::string& characters) const {
  trimInPlace(text, characters);
}

std::wstring CorpusProcessor::toWideString(const std::string& text) const {
  return newsclass::toWideString(text);
}

std::string CorpusProcessor::toNarrowString(const std::wstring& text) const {
  return newsclass::toNarrowString(text);
}

std::string CorpusProcessor::segmentParagraph(const char* text) {
  return newsclass::segmentParagraph(environment(), text);
}

WordList CorpusProcessor::tokenizeArticle(std::string text, const StopWordSet& stopWords) {
  return newsclass::tokenizeArticle(environment(), std::move(text), stopWords);
}

WordList CorpusProcessor::splitBySpace(std::string text, const StopWordSet& stopWords) {
  return newsclass::splitBySpace(environment(), std::move(text), stopWords);
}

StopWordSet CorpusProcessor::loadStopWords() { return newsclass::loadStopWords(environment()); }

// --- Dictionary ---

bool CorpusProcessor::buildDictionary(Dictionary& dictionary, ProcessorTokenizer tokenizer,
                                      std::string tableName) {
  // The stage's tokeniser behind each of the processor's tokeniser operations.
  Tokenizer stageTokenizer = nullptr;
  if (tokenizer == &CorpusProcessor::tokenizeArticle) stageTokenizer = &newsclass::tokenizeArticle;
  if (tokenizer == &CorpusProcessor::splitBySpace) stageTokenizer = &newsclass::splitBySpace;
  if (stageTokenizer == nullptr) {
    throw std::invalid_argument("buildDictionary: the tokeniser is not one of the processor's");
  }
  return buildDictionary(dictionary, stageTokenizer, std::move(tableName));
}

bool CorpusProcessor::buildDictionary(Dictionary& dictionary, Tokenizer tokenizer,
                                      std::string tableName) {
  return newsclass::buildDictionary(environment(), range(), dictionary, tokenizer,
                                    environment().terms, tableName);
}

void CorpusProcessor::saveDictionary(const Dictionary& dictionary, const std::string& path) {
  newsclass::saveDictionary(dictionary, path);
}

void CorpusProcessor::loadDictionary(Dictionary& dictionary, const std::string& path) {
  newsclass::loadDictionary(dictionary, path);
}

// --- Category sets and the contingency table ---

bool CorpusProcessor::collectCategoryArticles(CategoryList categories, std::string tableName,
                                              CategoryArticles& result) {
  return newsclass::collectCategoryArticles(environment(), categories, tableName, result);
}

bool CorpusProcessor::buildContingencyTable(const Dictionary& dictionary, CategoryList categories,
                                            ContingencyTable& table, std::string tableName) {
  return newsclass::buildContingencyTable(environment(), dictionary, categories, table, tableName);
}

void CorpusProcessor::saveContingencyTable(const ContingencyTable& table, const std::string& path) {
  newsclass::saveContingencyTable(table, path);
}

void CorpusProcessor::loadContingencyTable(ContingencyTable& table, const std::string& path) {
  newsclass::loadContingencyTable(table, path, console());
}

void CorpusProcessor::selectByDfThreshold(const Dictionary& dictionary, unsigned n,
                                          const std::string& path) {
  newsclass::selectByDfThreshold(dictionary, n, path, console());
}

// --- Feature selection ---

double CorpusProcessor::countCategoryArticles(std::string category, std::string tableName) {
  return newsclass::countCategoryArticles(environment(), category, tableName);
}

double CorpusProcessor::chiSquare(double a, double b, double c, double d) const {
  return newsclass::chiSquare(a, b, c, d);
}

double CorpusProcessor::informationGain(double a, double b, double c, double d) const {
  return newsclass::informationGain(a, b, c, d);
}

double CorpusProcessor::mutualInformation(double a, double b, double c, double d) const {
  return newsclass::mutualInformation(a, b, c, d);
}

namespace {

// One category's whole ranking by `measure`, with the words copied out.
FeatureRanking rankOneCategory(const CorpusProcessor& processor, FeatureMeasure measure,
                               const Dictionary& dictionary, ContingencyTable& table,
                               const std::string& category) {
  const RankingInput input = gatherRankingInput(dictionary, table, {category});
  return toFeatureRanking(rankWords(measure, input, category, processor.rangeSize()));
}

}  // namespace

FeatureRanking CorpusProcessor::rankByChiSquare(const Dictionary& dictionary,
                                                ContingencyTable& table, std::string category) {
  return rankOneCategory(*this, FeatureMeasure::kChiSquare, dictionary, table, category);
}

FeatureRanking CorpusProcessor::rankByInformationGain(const Dictionary& dictionary,
                                                      ContingencyTable& table,
                                                      std::string category) {
  return rankOneCategory(*this, FeatureMeasure::kInformationGain, dictionary, table, category);
}

FeatureRanking CorpusProcessor::rankByMutualInformation(const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        std::string category) {
  return rankOneCategory(*this, FeatureMeasure::kMutualInformation, dictionary, table, category);
}

FeatureRanking CorpusProcessor::rankByCategoryFrequency(const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        std::string category) {
  const StageClock clock;
  FeatureRanking ranking =
      rankOneCategory(*this, FeatureMeasure::kCategoryFrequency, dictionary, table, category);
  printCategoryRankingTime(console(), category, clock.elapsedSeconds());
  return ranking;
}

namespace {

// The four per-category selections differ only in the measure they rank by.
void selectWith(CorpusProcessor& processor, FeatureMeasure measure, const CategoryList& categories,
                const Dictionary& dictionary, ContingencyTable& table, int32_t featureTotal,
                const std::string& path) {
  selectFeatures(processor.environment(), processor.range(), measure, categories, dictionary,
                 table, featureTotal, path);
}

}  // namespace

void CorpusProcessor::selectFeaturesByChiSquare(CategoryList categories,
                                                const Dictionary& dictionary,
                                                ContingencyTable& table, int32_t featureTotal,
                                                const std::string& path) {
  selectWith(*this, FeatureMeasure::kChiSquare, categories, dictionary, table,
             featureTotal, path);
}

void CorpusProcessor::selectFeaturesByInformationGain(CategoryList categories,
                                                      const Dictionary& dictionary,
                                                      ContingencyTable& table, int32_t featureTotal,
                                                      const std::string& path) {
  selectWith(*this, FeatureMeasure::kInformationGain, categories, dictionary, table,
             featureTotal, path);
}

void CorpusProcessor::selectFeaturesByMutualInformation(CategoryList categories,
                                                        const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        int32_t featureTotal,
                                                        const std::string& path) {
  selectWith(*this, FeatureMeasure::kMutualInformation, categories, dictionary, table,
             featureTotal, path);
}

void CorpusProcessor::selectFeaturesByCategoryFrequency(CategoryList categories,
                                                        const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        int32_t featureTotal,
                                                        const std::string& path) {
  selectWith(*this, FeatureMeasure::kCategoryFrequency, categories, dictionary, table,
             featureTotal, path);
}

// --- Vector space models ---

std::vector<std::string> CorpusProcessor::readKeywords(const std::string& path) {
  return newsclass::readKeywords(path);
}

std::vector<KeywordStatistic> CorpusProcessor::keywordStatistics(const Dictionary& dictionary,
                                                                 const std::string& path) {
  return newsclass::keywordStatistics(dictionary, path);
}

WeightedKeywordList CorpusProcessor::normalizeVector(WeightedKeywordList list) {
  return newsclass::normalizeVector(std::move(list));
}

bool CorpusProcessor::buildTrainingVsm(const Dictionary& dictionary, VsmModel& model,
                                       const std::string& keywordPath) {
  return newsclass::buildTrainingVsm(environment(), range(), environment().weighting, dictionary,
                                     model, keywordPath);
}

bool CorpusProcessor::buildTestingVsm(int32_t firstId, int32_t lastId, std::string tableName,
                                      const Dictionary& dictionary, VsmModel& model,
                                      const std::string& keywordPath) {
  return newsclass::buildTestingVsm(environment(), range(), environment().weighting,
                                    environment().terms, firstId, lastId, tableName, dictionary,
                                    model, keywordPath);
}

void CorpusProcessor::saveVsm(const VsmModel& model, const std::string& path) {
  newsclass::saveVsm(environment(), model, path, environment().vectorFormat);
}

void CorpusProcessor::saveVsm(const VsmModel& model, const std::string& path,
                              AtomicFileGroup& files) {
  newsclass::saveVsm(environment(), model, path, files, environment().vectorFormat);
}

void CorpusProcessor::loadVsm(VsmModel& model, const std::string& path) {
  newsclass::loadVsm(environment(), model, path);
}

// --- Classification ---

double CorpusProcessor::dotProduct(const WeightVector& x, const WeightVector& y) const {
  return newsclass::dotProduct(x, y);
}

double CorpusProcessor::cosineSimilarity(const WeightVector& a, const WeightVector& b) const {
  return newsclass::cosineSimilarity(a, b);
}

std::vector<std::string> CorpusProcessor::fetchNeighbourCategories(std::string idList,
                                                                   std::string tableName) {
  return newsclass::fetchNeighbourCategories(environment(), idList, tableName);
}

std::string CorpusProcessor::knnClassify(int k, std::string tableName, WeightVector vector,
                                         CategoryList categories,
                                         const VsmModel& trainingModel) {
  return newsclass::knnClassify(environment(), k, tableName, vector, categories, trainingModel);
}

void CorpusProcessor::knnClassifyTestSet(std::string tableName, const VsmModel& trainingModel,
                                         const VsmModel& testingModel, CategoryList categories,
                                         int k, ClassificationResults& results,
                                         const WeightVector* keywordless) {
  newsclass::knnClassifyTestSet(environment(), environment().similarityVote, tableName,
                                trainingModel, testingModel, categories, k, results, keywordless);
}

std::string CorpusProcessor::fetchArticleCategory(int32_t articleId, std::string tableName) {
  return newsclass::fetchArticleCategory(environment().connectionString, articleId, tableName);
}

bool fetchArticleRecord(int32_t articleId, std::string tableName, ArticleRecord& record,
                        CorpusProcessor& processor) {
  return fetchArticleRecord(processor.environment().connectionString, articleId, tableName,
                            record);
}

// --- Evaluation ---

double CorpusProcessor::countCorrectPredictions(std::string category,
                                                const ClassificationResults& results,
                                                std::string tableName) {
  return newsclass::countCorrectPredictions(environment(), category, results, tableName);
}

double CorpusProcessor::categoryPrecision(std::string category,
                                          const ClassificationResults& results,
                                          std::string tableName) {
  return newsclass::categoryPrecision(environment(), category, results, tableName);
}

double CorpusProcessor::categoryRecall(std::string category, const ClassificationResults& results,
                                       std::string tableName) {
  return newsclass::categoryRecall(environment(), category, results, tableName);
}

double CorpusProcessor::categoryF1(std::string category, const ClassificationResults& results,
                                  std::string tableName) {
  return newsclass::categoryF1(environment(), category, results, tableName);
}

}  // namespace newsclass
