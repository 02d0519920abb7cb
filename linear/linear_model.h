// The linear classifier: one-vs-rest L2-regularised linear support vector machines through
// liblinear (squared hinge loss solved in the dual, with a bias term of 1: the settings of
// scikit-learn's LinearSVC, which wraps the same library), over sparse TF-IDF vectors. Classes
// are category numbers (positions in the category list). The model file is liblinear's own
// format, replaced atomically.
#ifndef NEWSCLASS_LINEAR_LINEAR_MODEL_H_
#define NEWSCLASS_LINEAR_LINEAR_MODEL_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "vsm/vsm_model.h"

struct model;

namespace newsclass {

class LinearModel {
 public:
  // Trains on `vectors` (feature positions below featureCount) with their classes (`classes[i]`
  // from 0 to classCount - 1); `cost` is C. The same input gives the same model: the solver's
  // shuffling starts from a fixed seed. That seed is the C library's: training calls
  // std::srand(1) for the whole process, so the process's rand() sequence starts again from
  // seed 1 (and the solver's draws) and does not continue from before. Throws UsageError for a
  // cost that is not positive and DataFileError when there is nothing to train on.
  static LinearModel train(const std::vector<WeightedKeywordList>& vectors,
                           const std::vector<int>& classes, size_t featureCount, double cost);
  // Reads a model file trained over `categoryCount` categories, every line checked as
  // parseLinearModelFile (linear/linear_model_file.h) says; DataFileError naming the file, and the
  // line at fault, when it cannot be used.
  static LinearModel load(const std::string& path, size_t categoryCount);
  // Writes the model file atomically; DataFileError naming it when it cannot.
  void save(const std::string& path) const;

  LinearModel(LinearModel&&) noexcept;
  LinearModel& operator=(LinearModel&&) noexcept;
  ~LinearModel();

  // The class liblinear predicts (the highest decision value; ties to the class trained first)
  // and, in `values`, the decision value of every class 0 .. classCount - 1 (minus infinity for a
  // class the training data lacked, which the commands never train: linearTrainingClasses
  // refuses such a category, and load() a file without a machine for every category).
  int decide(const WeightedKeywordList& vector, size_t classCount, std::vector<double>& values) const;
  size_t featureCount() const;

 private:
  explicit LinearModel(struct ::model* trained);
  struct ::model* model_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_LINEAR_LINEAR_MODEL_H_
