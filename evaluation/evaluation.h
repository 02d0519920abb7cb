// The per-category scores of a classification, from whole counts: the operations
// categoryPrecision, categoryRecall and categoryF1 and the evaluation report both compute them
// with these functions, so that the two agree bit for bit.
#ifndef NEWSCLASS_EVALUATION_EVALUATION_H_
#define NEWSCLASS_EVALUATION_EVALUATION_H_

namespace newsclass {

// correct / predicted: the share of the predictions of a category that are right; 0 when there
// are no predictions.
double precisionOf(double correct, double predicted);

// correct / support: the share of the articles of a category that were found; 0 when the
// category has no articles.
double recallOf(double correct, double support);

// The harmonic mean 2pr / (p + r) of precision p and recall r; 0 unless both are positive.
double f1Of(double precision, double recall);

}  // namespace newsclass

#endif  // NEWSCLASS_EVALUATION_EVALUATION_H_
