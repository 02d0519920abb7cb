// The linear classifiers: one-vs-rest L2-regularised linear models through liblinear, with a
// bias term of 1, over sparse TF-IDF vectors. The SVMs minimise the squared hinge loss in the
// dual (the settings of scikit-learn's LinearSVC, which wraps the same library); logistic
// regression minimises the log loss in the primal, and its decision values give probabilities.
// Classes are category numbers (positions in the category list). The model file is liblinear's
// own format, replaced atomically.
#ifndef NEWSCLASS_LINEAR_LINEAR_MODEL_H_
#define NEWSCLASS_LINEAR_LINEAR_MODEL_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vsm/vsm_model.h"

struct model;

namespace newsclass {

// What the machines minimise: the squared hinge loss (SVMs) or the log loss (logistic regression).
enum class LinearLoss { kSquaredHinge, kLogistic };

struct LinearSettings {
  // C: the weight of the loss against the regularisation (larger: fit the training data closer).
  double cost = 1.0;
  LinearLoss loss = LinearLoss::kSquaredHinge;
  // Whether each class's C is scaled by n / (k * n_c) (n articles, k classes, n_c of the
  // class), so that a small class weighs as much as a large one.
  bool balancedClassWeights = false;
  // Threads the machines of three classes or more are trained on, side by side; the model
  // does not depend on it.
  int threads = 1;
};

// The balanced weight of each class present in `classes` (n / (k * n_c)), by class number in
// ascending order.
std::vector<std::pair<int, double>> balancedClassWeights(const std::vector<int>& classes);

// liblinear's name of the solver of a loss, as the model file's first line gives it.
std::string_view solverName(LinearLoss loss);

class LinearModel {
 public:
  // Trains on `vectors` (feature positions below featureCount) with their classes (`classes[i]`
  // from 0 to classCount - 1). Two classes get one machine; three or more get one machine each,
  // the class against the rest, trained on its own (trainMachines), so that a machine depends
  // neither on the others nor on the threads or ranks that train them. The machines are listed
  // in the order their classes first appear in `classes` (ties of decision values go to the
  // one listed first). The same input gives the same model: the SVMs' solver's shuffling
  // starts from seed 1 of the training thread's own rand() sequence (linear/solver_random.h)
  // for every machine. Throws UsageError for a cost that is not positive and DataFileError
  // when there is nothing to train on.
  static LinearModel train(const std::vector<WeightedKeywordList>& vectors,
                           const std::vector<int>& classes, size_t featureCount,
                           const LinearSettings& settings);
  // The classes of `classes` in the order they first appear: the machines' order.
  static std::vector<int> machineOrder(const std::vector<int>& classes);
  // The machines of the classes `positives`, each its class against the rest (three classes
  // or more), trained on settings.threads threads: each machine's weight of every feature and
  // then of the bias, as train() trains it.
  static std::vector<std::vector<double>> trainMachines(
      const std::vector<WeightedKeywordList>& vectors, const std::vector<int>& classes,
      size_t featureCount, const LinearSettings& settings, const std::vector<int>& positives);
  // The model of machines trained apart (`machines[i]` of class `order[i]`, from
  // trainMachines).
  static LinearModel fromMachines(const std::vector<int>& order,
                                  const std::vector<std::vector<double>>& machines,
                                  size_t featureCount, LinearLoss loss);
  // Reads a model file trained over `categoryCount` categories with `loss`, every line checked as
  // parseLinearModelFile (linear/linear_model_file.h) says; DataFileError naming the file, and the
  // line at fault, when it cannot be used.
  static LinearModel load(const std::string& path, size_t categoryCount,
                          LinearLoss loss = LinearLoss::kSquaredHinge);
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
  // Whether the machines are logistic regression, whose values give probabilities.
  bool givesProbabilities() const;
  // The probability of every class 0 .. classCount - 1 for `vector` (liblinear's
  // predict_probability: each machine's 1 / (1 + e^-value), normalised to add up to 1; for two
  // classes the one machine's and its complement). Only for a model that givesProbabilities().
  void probabilities(const WeightedKeywordList& vector, size_t classCount,
                     std::vector<double>& values) const;
  // What feature `feature` (0-based) adds per unit of its value to class `category`'s decision
  // value, and the class's bias (the bias feature's weight times the bias, 1): a decision value
  // is the bias plus every feature's coefficient times its value.
  double coefficient(int feature, int category) const;
  double bias(int category) const;

 private:
  explicit LinearModel(struct ::model* trained);
  struct ::model* model_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_LINEAR_LINEAR_MODEL_H_
