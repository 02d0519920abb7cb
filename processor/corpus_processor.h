// The processor: every pipeline stage, from reading the corpus database to scoring a
// classification, is one operation of CorpusProcessor. The object carries the training range
// [firstArticleId, lastArticleId] and the environment it runs in (database, console, segmenter,
// text files, weighting, vote); it keeps no result between operations. Containers belong to the
// caller, are passed by reference and are extended, not cleared.
//
// It is a facade on top of the stages: each operation hands its arguments, with the range and
// the environment it needs, to the free function of the same name in the stage's own folder
// (segmentation/, dictionary/, contingency/, features/, vsm/, knn/, evaluation/). No stage
// includes this header.
#ifndef NEWSCLASS_PROCESSOR_CORPUS_PROCESSOR_H_
#define NEWSCLASS_PROCESSOR_CORPUS_PROCESSOR_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/stage_environment.h"
#include "contingency/contingency_table.h"
#include "corpusdb/article_lookup.h"
#include "corpusdb/category_list.h"
#include "dictionary/dictionary.h"
#include "features/feature_ranking.h"
#include "knn/knn_types.h"
#include "processor/environment.h"
#include "segmentation/tokenizer.h"
#include "vsm/vsm_model.h"

namespace newsclass {

class CorpusProcessor;

// A tokeniser operation of the processor (tokenizeArticle or splitBySpace).
using ProcessorTokenizer = WordList (CorpusProcessor::*)(std::string text,
                                                         const StopWordSet& stopWords);

class CorpusProcessor {
 public:
  CorpusProcessor(int32_t firstArticleId, int32_t lastArticleId, Environment& environment);

  int32_t firstArticleId;
  int32_t lastArticleId;

  Environment& environment() const { return *environment_; }
  Console& console() const { return *environment_->console; }
  ArticleRange range() const { return {firstArticleId, lastArticleId}; }
  // N, the size of the training range.
  int32_t rangeSize() const { return static_cast<int32_t>(range().size()); }

  // --- Text utilities (base/) ---
  std::string intToString(int32_t value) const;
  std::string doubleToString(double value, unsigned n) const;

  // --- Segmenter (segmentation/) ---
  void startSegmenter();
  void stopSegmenter();

  // --- Tokenisation (segmentation/) ---
  void trim(std::string& text, const std::string& characters) const;
  std::wstring toWideString(const std::string& text) const;
  std::string toNarrowString(const std::wstring& text) const;
  // The segmenter's words of a text joined by "|".
  std::string segmentParagraph(const char* text);
  WordList tokenizeArticle(std::string text, const StopWordSet& stopWords);
  WordList splitBySpace(std::string text, const StopWordSet& stopWords);

  // --- Stop words (segmentation/) ---
  StopWordSet loadStopWords();

  // --- Dictionary (dictionary/) ---
  bool buildDictionary(Dictionary& dictionary, ProcessorTokenizer tokenizer,
                       std::string tableName);
  bool buildDictionary(Dictionary& dictionary, Tokenizer tokenizer, std::string tableName);
  void saveDictionary(const Dictionary& dictionary, const std::string& path);
  void loadDictionary(Dictionary& dictionary, const std::string& path);

  // --- Category sets and the contingency table (contingency/) ---
  bool collectCategoryArticles(CategoryList categories, std::string tableName,
                               CategoryArticles& result);
  bool buildContingencyTable(const Dictionary& dictionary, CategoryList categories,
                             ContingencyTable& table, std::string tableName);
  void saveContingencyTable(const ContingencyTable& table, const std::string& path);
  void loadContingencyTable(ContingencyTable& table, const std::string& path);
  void selectByDfThreshold(const Dictionary& dictionary, unsigned n, const std::string& path);

  // --- Feature selection (features/) ---
  double countCategoryArticles(std::string category, std::string tableName);
  double chiSquare(double a, double b, double c, double d) const;
  double informationGain(double a, double b, double c, double d) const;
  double mutualInformation(double a, double b, double c, double d) const;
  FeatureRanking rankByChiSquare(const Dictionary& dictionary, ContingencyTable& table,
                                 std::string category);
  FeatureRanking rankByInformationGain(const Dictionary& dictionary, ContingencyTable& table,
                                       std::string category);
  FeatureRanking rankByMutualInformation(const Dictionary& dictionary, ContingencyTable& table,
                                         std::string category);
  FeatureRanking rankByCategoryFrequency(const Dictionary& dictionary, ContingencyTable& table,
                                         std::string category);
  void selectFeaturesByChiSquare(CategoryList categories, const Dictionary& dictionary,
                                 ContingencyTable& table, int32_t featureTotal,
                                 const std::string& path);
  void selectFeaturesByInformationGain(CategoryList categories, const Dictionary& dictionary,
                                       ContingencyTable& table, int32_t featureTotal,
                                       const std::string& path);
  void selectFeaturesByMutualInformation(CategoryList categories, const Dictionary& dictionary,
                                         ContingencyTable& table, int32_t featureTotal,
                                         const std::string& path);
  void selectFeaturesByCategoryFrequency(CategoryList categories, const Dictionary& dictionary,
                                         ContingencyTable& table, int32_t featureTotal,
                                         const std::string& path);

  // --- Vector space models (vsm/) ---
  std::vector<std::string> readKeywords(const std::string& path);
  std::vector<KeywordStatistic> keywordStatistics(const Dictionary& dictionary,
                                                  const std::string& path);
  WeightedKeywordList normalizeVector(WeightedKeywordList list);
  bool buildTrainingVsm(const Dictionary& dictionary, VsmModel& model,
                        const std::string& keywordPath);
  bool buildTestingVsm(int32_t firstId, int32_t lastId, std::string tableName,
                       const Dictionary& dictionary, VsmModel& model,
                       const std::string& keywordPath);
  void saveVsm(const VsmModel& model, const std::string& path);
  void saveVsm(const VsmModel& model, const std::string& path, AtomicFileGroup& files);
  void loadVsm(VsmModel& model, const std::string& path);

  // --- Classification (knn/) ---
  double dotProduct(const WeightVector& x, const WeightVector& y) const;
  double cosineSimilarity(const WeightVector& a, const WeightVector& b) const;
  std::vector<std::string> fetchNeighbourCategories(std::string idList, std::string tableName);
  std::string knnClassify(int k, std::string tableName, WeightVector vector,
                          CategoryList categories, const VsmModel& trainingModel);
  void knnClassifyTestSet(std::string tableName, const VsmModel& trainingModel,
                          const VsmModel& testingModel, CategoryList categories, int k,
                          ClassificationResults& results,
                          const WeightVector* keywordless = nullptr);
  std::string fetchArticleCategory(int32_t articleId, std::string tableName);

  // --- Evaluation (evaluation/) ---
  double countCorrectPredictions(std::string category, const ClassificationResults& results,
                                 std::string tableName);
  double categoryPrecision(std::string category, const ClassificationResults& results,
                           std::string tableName);
  double categoryRecall(std::string category, const ClassificationResults& results,
                        std::string tableName);
  double categoryF1(std::string category, const ClassificationResults& results,
                    std::string tableName);

 private:
  Environment* environment_;
};

// Reads the title, category and text of one article of the processor's database, each trimmed
// of blanks.
bool fetchArticleRecord(int32_t articleId, std::string tableName, ArticleRecord& record,
                        CorpusProcessor& processor);

}  // namespace newsclass

#endif  // NEWSCLASS_PROCESSOR_CORPUS_PROCESSOR_H_
