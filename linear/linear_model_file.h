// Reading linear.model as this program's training writes it, before liblinear is given it:
// liblinear's own reader takes any header in any order, prints "unknown text in model file" on
// standard error for a line it does not know, and believes every number it finds (a negative
// feature count, NaN weights, labels of classes that do not exist). Every line is checked here,
// and the first one at fault is named.
#ifndef NEWSCLASS_LINEAR_LINEAR_MODEL_FILE_H_
#define NEWSCLASS_LINEAR_LINEAR_MODEL_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

// What a checked model file holds.
struct LinearModelFile {
  std::vector<int> labels;      // the class of each machine, in file order
  int featureCount = 0;         // without the bias feature
  double bias = 0;
  std::vector<double> weights;  // (featureCount + 1) rows of columns() weights, row by row
  // Machines per row: one for two classes (its value speaks for the first label), else one per
  // class.
  size_t columns() const { return labels.size() == 2 ? 1 : labels.size(); }
};

// Parses the bytes of a model file trained over `categoryCount` categories with `solver`
// (liblinear's name: "L2R_L2LOSS_SVC_DUAL" for the SVMs, "L2R_LR" for logistic regression). The
// file must be exactly what training writes: the lines "solver_type <solver>", "nr_class K" (K the
// number of categories: training refuses a category without articles), "label" and K distinct
// category numbers 0 .. K-1, "nr_feature F" (1 to 2^31 - 2), "bias 1", "w", then F + 1 lines of
// columns() finite weights (each column's magnitudes adding up to at most 1e300, so
// that no decision value can overflow), and nothing after them. Numbers are whole decimal tokens. Throws
// DataFileError "<path>: line N: <what>" naming the first line at fault.
inline constexpr std::string_view kSvmSolverName = "L2R_L2LOSS_SVC_DUAL";
inline constexpr std::string_view kLogisticSolverName = "L2R_LR";
LinearModelFile parseLinearModelFile(const std::string& path, std::string_view bytes,
                                     size_t categoryCount,
                                     std::string_view solver = kSvmSolverName);

}  // namespace newsclass

#endif  // NEWSCLASS_LINEAR_LINEAR_MODEL_FILE_H_
