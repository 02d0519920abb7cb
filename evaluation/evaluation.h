// The per-category scores of a classification, from whole counts: categoryPrecision,
// categoryRecall and categoryF1 and the evaluation report both compute them with the first three
// functions, so that the two agree bit for bit.
#ifndef NEWSCLASS_EVALUATION_EVALUATION_H_
#define NEWSCLASS_EVALUATION_EVALUATION_H_

#include <string>

#include "base/stage_environment.h"
#include "knn/knn_types.h"

namespace newsclass {

// correct / predicted: the share of the predictions of a category that are right; 0 when there
// are no predictions.
double precisionOf(double correct, double predicted);

// correct / support: the share of the articles of a category that were found; 0 when the
// category has no articles.
double recallOf(double correct, double support);

// The harmonic mean 2pr / (p + r) of precision p and recall r; 0 unless both are positive.
double f1Of(double precision, double recall);

// The predictions of `category` whose article's stored category in `tableName` is `category`,
// with one lookup per prediction.
double countCorrectPredictions(const StageEnvironment& environment, const std::string& category,
                               const ClassificationResults& results, const std::string& tableName);
// The category's precision, recall and F1 over the results, against the stored categories of
// `tableName` (recall counts the category's articles there).
double categoryPrecision(const StageEnvironment& environment, const std::string& category,
                         const ClassificationResults& results, const std::string& tableName);
double categoryRecall(const StageEnvironment& environment, const std::string& category,
                      const ClassificationResults& results, const std::string& tableName);
double categoryF1(const StageEnvironment& environment, const std::string& category,
                  const ClassificationResults& results, const std::string& tableName);

}  // namespace newsclass

#endif  // NEWSCLASS_EVALUATION_EVALUATION_H_
