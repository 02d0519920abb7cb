// Precision, recall and F1 of one category, from counts and from a classification's predictions
// with one stored-category lookup per prediction.
#include "evaluation/evaluation.h"

#include <string>

#include "base/text_utils.h"
#include "corpusdb/article_lookup.h"
#include "features/category_counts.h"

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

double countCorrectPredictions(const StageEnvironment& environment, const std::string& category,
                               const ClassificationResults& results, const std::string& tableName) {
  int32_t count = 0;
  for (const ClassificationResult& entry : results) {
    if (entry.predictedCategory != category) continue;
    std::string stored =
        fetchArticleCategory(environment.connectionString, entry.articleId, tableName);
    trimInPlace(stored, " ");
    if (stored == category) ++count;
  }
  return static_cast<double>(count);
}

double categoryPrecision(const StageEnvironment& environment, const std::string& category,
                         const ClassificationResults& results, const std::string& tableName) {
  double correct = countCorrectPredictions(environment, category, results, tableName);
  double predicted = 0.0;
  for (const ClassificationResult& entry : results) {
    if (entry.predictedCategory == category) predicted += 1.0;
  }
  return precisionOf(correct, predicted);
}

double categoryRecall(const StageEnvironment& environment, const std::string& category,
                      const ClassificationResults& results, const std::string& tableName) {
  double correct = countCorrectPredictions(environment, category, results, tableName);
  return recallOf(correct, countCategoryArticles(environment, category, tableName));
}

double categoryF1(const StageEnvironment& environment, const std::string& category,
                  const ClassificationResults& results, const std::string& tableName) {
  double p = categoryPrecision(environment, category, results, tableName);
  double r = categoryRecall(environment, category, results, tableName);
  return f1Of(p, r);
}

}  // namespace newsclass
