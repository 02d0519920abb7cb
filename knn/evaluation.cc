#include <string>

#include "driver/corpus_processor.h"

namespace newsclass {

double CorpusProcessor::countCorrectPredictions(std::string category,
                                                const ClassificationResults& results,
                                                std::string tableName) {
  int32_t count = 0;
  for (const ClassificationResult& entry : results) {
    if (entry.predictedCategory != category) continue;
    std::string stored = fetchArticleCategory(entry.articleId, tableName);
    trim(stored, " ");
    if (stored == category) ++count;
  }
  return static_cast<double>(count);
}

double CorpusProcessor::categoryPrecision(std::string category,
                                          const ClassificationResults& results,
                                          std::string tableName) {
  double correct = countCorrectPredictions(category, results, tableName);
  double predicted = 0.0;
  for (const ClassificationResult& entry : results) {
    if (entry.predictedCategory == category) predicted += 1.0;
  }
  if (predicted == 0.0) return 0.0;
  return correct / predicted;
}

double CorpusProcessor::categoryRecall(std::string category, const ClassificationResults& results,
                                       std::string tableName) {
  double correct = countCorrectPredictions(category, results, tableName);
  double total = countCategoryArticles(category, tableName);
  if (total == 0) return 0.0;
  return correct / total;
}

double CorpusProcessor::categoryF1(std::string category, const ClassificationResults& results,
                                   std::string tableName) {
  double p = categoryPrecision(category, results, tableName);
  double r = categoryRecall(category, results, tableName);
  if (p > 0 && r > 0) return (2.0 * p * r) / (p + r);
  return 0.0;
}

}  // namespace newsclass
