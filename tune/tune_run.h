// A tune run: every setting of a grid scored on every fold, the articles segmented once and each
// fold's stages shared by the settings that need the same terms, measure and count.
#ifndef NEWSCLASS_TUNE_TUNE_RUN_H_
#define NEWSCLASS_TUNE_TUNE_RUN_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "corpusdb/category_list.h"
#include "models/model_description.h"
#include "segmentation/term_kinds.h"
#include "tune/fold_run.h"
#include "tune/grid.h"

namespace newsclass {

// What a grid setting asks for, with pipeline's defaults for the keys it leaves out (measure
// chi, count 1000, terms words, C 1, no class weights, no neighbour blend) and classifier
// linear.
struct TuneChoice {
  TermKinds terms = TermKinds::kWords;
  std::string measure = "chi";
  int32_t count = 1000;
  ModelDescription model;
  // "classifier=linear c=1 terms=words+chars count=0": the setting as the grid gave it.
  std::string text;
  // The pipeline options that build the same model on the whole training range.
  std::vector<std::string> pipelineOptions;
};

// The choice of a setting over `categories` (the KNN's defaults: K 10, count vote, the
// default weighting). UsageError "--grid: ..." for what pipeline would refuse or ignore: a neighbour
// blend for logistic regression, the vote or weighting for a linear classifier, C or class
// weights for the KNN.
TuneChoice tuneChoiceOf(const TuneSetting& setting, const CategoryList& categories);

enum class TuneMetric { kMacroF1, kAccuracy };

// The metric of labels against the truth, classes 0 to classCount - 1: macro F1 as evaluate
// computes it (the mean over the categories of F1, a category without a found or predicted
// article at 0) or accuracy.
double tuneMetric(TuneMetric metric, const std::vector<int>& labels, const std::vector<int>& truth,
                  size_t classCount);

struct TuneScore {
  std::vector<double> folds;  // the metric on each fold, in fold order
  double mean = 0.0;
  double deviation = 0.0;     // the sample standard deviation over the folds
  double seconds = 0.0;       // training and labelling, over every fold
};

// Scores every choice on folds 0 to foldCount - 1 of `articles` (folds[i] as stratifiedFolds
// gave it). Each fold's stages run once per distinct (terms, measure, count), and the KNN's
// neighbour search once per weighting within them, for the largest K. The folds of the groups
// are worked on up to `threads` threads side by side; the scores do not depend on their number.
// `advance` is called after each (choice, fold) with the number done, one call at a time.
std::vector<TuneScore> runTune(const std::vector<SegmentedArticle>& articles,
                               const std::vector<int>& folds, int foldCount,
                               const CategoryList& categories,
                               const std::vector<TuneChoice>& choices, TuneMetric metric,
                               int threads, const std::function<void(size_t done)>& advance);

}  // namespace newsclass

#endif  // NEWSCLASS_TUNE_TUNE_RUN_H_
