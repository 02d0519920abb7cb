#include "evaluation/evaluation_report.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/errors.h"
#include "base/text_utils.h"
#include "corpusdb/article_lookup.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "evaluation/evaluation.h"
#include "features/category_counts.h"

namespace newsclass {
namespace {

// The stored category of every prediction, in result order, from the stored categories of the
// whole table.
std::vector<const std::string*> truthOf(const ClassificationResults& results,
                                        const std::map<int32_t, std::string>& stored,
                                        const std::string& tableName) {
  std::vector<const std::string*> truth;
  truth.reserve(results.size());
  for (const ClassificationResult& entry : results) {
    auto found = stored.find(entry.articleId);
    if (found == stored.end()) {
      throw DataFileError("predicted article " + std::to_string(entry.articleId) + " is not in " +
                          tableName + " (or its category is NULL)");
    }
    truth.push_back(&found->second);
  }
  return truth;
}

// One listed category's scores; its support is the count of its articles in the table.
CategoryScores scoresOf(const StageEnvironment& environment, const std::string& category,
                        const ClassificationResults& results,
                        const std::vector<const std::string*>& truth,
                        const std::string& tableName) {
  CategoryScores scores;
  scores.category = category;
  for (size_t i = 0; i < results.size(); ++i) {
    if (results[i].predictedCategory != category) continue;
    ++scores.predicted;
    if (*truth[i] == category) ++scores.correct;
  }
  double correct = static_cast<double>(scores.correct);
  double predicted = static_cast<double>(scores.predicted);
  scores.precision = precisionOf(correct, predicted);
  scores.support = countCategoryArticles(environment, category, tableName);
  scores.recall = recallOf(correct, scores.support);
  scores.f1 = f1Of(scores.precision, scores.recall);
  return scores;
}

// The micro scores from the summed counts and the macro scores as means over the list.
void addAverages(EvaluationReport& report, size_t listedCount) {
  for (const CategoryScores& scores : report.categories) {
    report.microSupport += scores.support;
    report.microPredicted += scores.predicted;
    report.microCorrect += scores.correct;
    report.macroPrecision += scores.precision;
    report.macroRecall += scores.recall;
    report.macroF1 += scores.f1;
  }
  double listed = static_cast<double>(listedCount);
  if (listed > 0) {
    report.macroPrecision /= listed;
    report.macroRecall /= listed;
    report.macroF1 /= listed;
  }
  double microCorrect = static_cast<double>(report.microCorrect);
  report.microPrecision = precisionOf(microCorrect, static_cast<double>(report.microPredicted));
  report.microRecall = recallOf(microCorrect, report.microSupport);
  report.microF1 = f1Of(report.microPrecision, report.microRecall);
}

// The labels (the listed categories, then every other stored or predicted one in byte order)
// and the confusion matrix over them.
void addConfusion(EvaluationReport& report, const ClassificationResults& results,
                  const std::vector<const std::string*>& truth, const CategoryList& categories) {
  report.labels = categories;
  std::set<std::string> others;
  for (size_t i = 0; i < results.size(); ++i) {
    for (const std::string* name : {truth[i], &results[i].predictedCategory}) {
      if (std::find(categories.begin(), categories.end(), *name) == categories.end()) {
        others.insert(*name);
      }
    }
  }
  report.labels.insert(report.labels.end(), others.begin(), others.end());
  auto labelIndex = [&report](const std::string& name) {
    return static_cast<size_t>(std::find(report.labels.begin(), report.labels.end(), name) -
                               report.labels.begin());
  };
  report.confusion.assign(report.labels.size(), std::vector<int64_t>(report.labels.size(), 0));
  for (size_t i = 0; i < results.size(); ++i) {
    ++report.confusion[labelIndex(*truth[i])][labelIndex(results[i].predictedCategory)];
  }
}

}  // namespace

EvaluationReport buildEvaluationReport(const StageEnvironment& environment,
                                       const ClassificationResults& results,
                                       const CategoryList& categories,
                                       const std::string& tableName) {
  EvaluationReport report;
  report.tableName = tableName;
  std::map<int32_t, std::string> stored;
  {
    OdbcConnection connection(environment.connectionString, "evaluate");
    stored = readStoredCategories(connection, allArticleCategoriesQuery(tableName));
  }
  const std::vector<const std::string*> truth = truthOf(results, stored, tableName);

  report.predictionCount = static_cast<int64_t>(results.size());
  for (size_t i = 0; i < results.size(); ++i) {
    if (*truth[i] == results[i].predictedCategory) ++report.correctCount;
  }
  if (report.predictionCount > 0) {
    report.accuracy = static_cast<double>(report.correctCount) /
                      static_cast<double>(report.predictionCount);
  }
  for (const std::string& category : categories) {
    report.categories.push_back(scoresOf(environment, category, results, truth, tableName));
  }
  addAverages(report, categories.size());
  addConfusion(report, results, truth, categories);
  return report;
}

}  // namespace newsclass
