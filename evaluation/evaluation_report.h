// The evaluation report of a classification: per category precision, recall, F1 and support,
// micro and macro averages, accuracy and a confusion matrix, in three formats.
//
// The per-category values equal what categoryPrecision, categoryRecall and categoryF1 return
// for the same results and table: the same whole counts go through the same functions
// (evaluation/evaluation.h), but the stored categories come from one query over the whole table
// instead of one lookup per prediction. The support of a category is countCategoryArticles over
// the table.
#ifndef NEWSCLASS_EVALUATION_EVALUATION_REPORT_H_
#define NEWSCLASS_EVALUATION_EVALUATION_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/stage_environment.h"
#include "base/text_utils.h"  // shortestDecimal, which the reports write numbers with
#include "corpusdb/category_list.h"
#include "knn/knn_types.h"

namespace newsclass {

struct CategoryScores {
  std::string category;
  double precision = 0.0;
  double recall = 0.0;
  double f1 = 0.0;
  double support = 0.0;    // articles of the category in the table
  int64_t predicted = 0;   // predictions of the category
  int64_t correct = 0;     // of those, the ones whose stored category is the category
};

struct EvaluationReport {
  std::string tableName;
  int64_t predictionCount = 0;
  // Predictions whose stored category equals the predicted one, over all predictions.
  int64_t correctCount = 0;
  double accuracy = 0.0;  // correctCount / predictionCount; 0 without predictions
  // One entry per listed category, in list order.
  std::vector<CategoryScores> categories;
  // Micro averages: the counts of all listed categories added up, then divided; F1 from them.
  double microPrecision = 0.0;
  double microRecall = 0.0;
  double microF1 = 0.0;
  double microSupport = 0.0;
  int64_t microPredicted = 0;
  int64_t microCorrect = 0;
  // Macro averages: the means of the per-category values. Macro F1 is the mean of the
  // per-category F1 values, not the F1 of the macro precision and recall.
  double macroPrecision = 0.0;
  double macroRecall = 0.0;
  double macroF1 = 0.0;
  // Confusion matrix: confusion[s][p] counts predictions of labels[p] whose stored category is
  // labels[s]. Labels are the listed categories in list order, then any other stored or
  // predicted category in byte order.
  std::vector<std::string> labels;
  std::vector<std::vector<int64_t>> confusion;
};

// Builds the report for `results` (testing article ids and predicted categories) against the
// stored categories of `tableName`. A predicted article that the table lacks (or whose category
// is NULL) is a DataFileError naming the article; database faults pass through.
EvaluationReport buildEvaluationReport(const StageEnvironment& environment,
                                       const ClassificationResults& results,
                                       const CategoryList& categories,
                                       const std::string& tableName);

// The report as GBK text: aligned columns for a terminal, CSV with fixed columns, or JSON.
// Numbers in CSV and JSON are the shortest decimal text that reads back as the same double.
std::string formatReportText(const EvaluationReport& report);
std::string formatReportCsv(const EvaluationReport& report);
std::string formatReportJson(const EvaluationReport& report);

// A JSON string of GBK text. The second byte of a GBK character may be 0x5C ('\'), so the text
// is walked character by character and only single-byte characters are escaped.
std::string jsonString(const std::string& text);

// A score as the text report prints it: four decimals ("%.4f").
std::string fixed4(double value);

}  // namespace newsclass

#endif  // NEWSCLASS_EVALUATION_EVALUATION_REPORT_H_
