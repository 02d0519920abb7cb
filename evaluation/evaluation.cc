// Precision, recall and F1 of one category: the free functions, and the processor's operations
// that count a classification's predictions with one stored-category lookup per prediction.
#include "evaluation/evaluation.h"

#include <string>

#include "processor/corpus_processor.h"

namespace newsclass {

double precisionOf(double correct, double predicted) {
  if (predicted == 0.0) return 0.0;
  return correct / predicted;
}

double recallOf(double correct, double support) {
  if (support == 0) return 0.0;
  return correct / support;
}

double f1Of(double precision, double recall) {
  if (precision > 0 && recall > 0) return (2.0 * precision * recall) / (precision + recall);
  return 0.0;
}

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
  return precisionOf(correct, predicted);
}

double CorpusProcessor::categoryRecall(std::string category, const ClassificationResults& results,
                                       std::string tableName) {
  double correct = countCorrectPredictions(category, results, tableName);
  return recallOf(correct, countCategoryArticles(category, tableName));
}

double CorpusProcessor::categoryF1(std::string category, const ClassificationResults& results,
                                   std::string tableName) {
  double p = categoryPrecision(category, results, tableName);
  double r = categoryRecall(category, results, tableName);
  return f1Of(p, r);
}

}  // namespace newsclass
