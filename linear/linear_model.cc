#include "linear/linear_model.h"

#include <linear.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <new>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/text_file_reader.h"
#include "linear/linear_model_file.h"
#include "linear/solver_random.h"

namespace newsclass {
namespace {

// liblinear reports its iterations on standard output unless told otherwise.
void quiet(const char*) {}

void silenceLiblinear() {
  static std::once_flag once;
  std::call_once(once, [] { set_print_string_function(&quiet); });
}


// An article's features in liblinear's form: 1-based indexes, the bias feature, a terminator.
std::vector<feature_node> nodesOf(const WeightedKeywordList& vector, int featureCount) {
  std::vector<feature_node> nodes;
  nodes.reserve(vector.size() + 2);
  for (const auto& [position, weight] : vector) {
    if (position < featureCount) nodes.push_back({position + 1, weight});
  }
  nodes.push_back({featureCount + 1, 1.0});
  nodes.push_back({-1, 0.0});
  return nodes;
}

// The position of class `category` among the model's machines; -1 when it has none. The labels
// are read in place: this runs once per term of every explained answer.
int machineOf(const struct ::model* model, int category) {
  const int* labels = model->label;
  const int* found = std::find(labels, labels + model->nr_class, category);
  return found == labels + model->nr_class ? -1 : static_cast<int>(found - labels);
}

}  // namespace

std::vector<std::pair<int, double>> balancedClassWeights(const std::vector<int>& classes) {
  std::map<int, size_t> counts;
  for (int c : classes) ++counts[c];
  std::vector<std::pair<int, double>> weights;
  const double n = static_cast<double>(classes.size());
  const double k = static_cast<double>(counts.size());
  for (const auto& [c, count] : counts) weights.emplace_back(c, n / (k * static_cast<double>(count)));
  return weights;
}

std::string_view solverName(LinearLoss loss) {
  return loss == LinearLoss::kLogistic ? kLogisticSolverName : kSvmSolverName;
}

LinearModel::LinearModel(struct ::model* trained) : model_(trained) {}
LinearModel::LinearModel(LinearModel&& other) noexcept : model_(other.model_) { other.model_ = nullptr; }
LinearModel& LinearModel::operator=(LinearModel&& other) noexcept {
  if (this != &other) {
    if (model_ != nullptr) free_and_destroy_model(&model_);
    model_ = other.model_;
    other.model_ = nullptr;
  }
  return *this;
}
LinearModel::~LinearModel() {
  if (model_ != nullptr) free_and_destroy_model(&model_);
}

LinearModel LinearModel::train(const std::vector<WeightedKeywordList>& vectors,
                               const std::vector<int>& classes, size_t featureCount,
                               const LinearSettings& chosen) {
  const double cost = chosen.cost;
  if (!(cost > 0.0) || !std::isfinite(cost)) {
    throw UsageError("--c: the cost must be a positive number");
  }
  if (vectors.empty()) throw DataFileError("linear classifier: no training article to learn from");
  silenceLiblinear();
  const int features = static_cast<int>(featureCount);
  std::vector<std::vector<feature_node>> nodes;
  nodes.reserve(vectors.size());
  std::vector<feature_node*> rows;
  std::vector<double> labels;
  for (size_t i = 0; i < vectors.size(); ++i) {
    nodes.push_back(nodesOf(vectors[i], features));
    labels.push_back(classes[i]);
  }
  for (auto& row : nodes) rows.push_back(row.data());
  problem data{};
  data.l = static_cast<int>(vectors.size());
  data.n = features + 1;  // the bias feature included
  data.y = labels.data();
  data.x = rows.data();
  data.bias = 1.0;
  parameter settings{};
  if (chosen.loss == LinearLoss::kLogistic) {
    // Trust-region Newton in the primal: no random order, liblinear's default tolerance.
    settings.solver_type = L2R_LR;
    settings.eps = 0.01;
  } else {
    settings.solver_type = L2R_L2LOSS_SVC_DUAL;
    settings.eps = 1e-4;
  }
  settings.C = cost;
  std::vector<int> weightLabels;
  std::vector<double> weights;
  if (chosen.balancedClassWeights) {
    for (const auto& [label, weight] : balancedClassWeights(classes)) {
      weightLabels.push_back(label);
      weights.push_back(weight);
    }
    settings.nr_weight = static_cast<int>(weights.size());
    settings.weight_label = weightLabels.data();
    settings.weight = weights.data();
  }
  if (const char* problem = check_parameter(&data, &settings)) {
    throw DataFileError(std::string("linear classifier: ") + problem);
  }
  // The dual solver's visiting order starts from seed 1 on this thread (solver_random.h).
  seedSolverShuffle();
  return LinearModel(::train(&data, &settings));
}

LinearModel LinearModel::load(const std::string& path, size_t categoryCount, LinearLoss loss) {
  // The file is read once and checked line by line; liblinear's model is then built from what
  // was checked, so liblinear never parses a file (its reader believes any number it finds and
  // is several times slower) and nothing can change between the check and the use.
  const LinearModelFile checked =
      parseLinearModelFile(path, readTextFile(path), categoryCount, solverName(loss));
  // liblinear frees a model's weights, labels and the model itself with free().
  auto* built = static_cast<struct ::model*>(std::calloc(1, sizeof(struct ::model)));
  auto* labels = static_cast<int*>(std::malloc(checked.labels.size() * sizeof(int)));
  auto* weights = static_cast<double*>(std::malloc(std::max<size_t>(1, checked.weights.size()) * sizeof(double)));
  if (built == nullptr || labels == nullptr || weights == nullptr) {
    std::free(built);
    std::free(labels);
    std::free(weights);
    throw std::bad_alloc();
  }
  built->param.solver_type = loss == LinearLoss::kLogistic ? L2R_LR : L2R_L2LOSS_SVC_DUAL;
  built->nr_class = static_cast<int>(checked.labels.size());
  built->nr_feature = checked.featureCount;
  built->bias = checked.bias;
  std::copy(checked.labels.begin(), checked.labels.end(), labels);
  std::copy(checked.weights.begin(), checked.weights.end(), weights);
  built->label = labels;
  built->w = weights;
  return LinearModel(built);
}

void LinearModel::save(const std::string& path) const {
  // save_model takes a file name; it gets one that reopens the temporary file's own inode.
  AtomicFileGroup files;
  files.writeByName(path, [&](const std::string& name) {
    if (save_model(name.c_str(), model_) != 0) {
      throw DataFileError(path + ": cannot write the linear model: " + std::strerror(errno));
    }
  });
  files.commit();
}

size_t LinearModel::featureCount() const { return static_cast<size_t>(get_nr_feature(model_)); }

bool LinearModel::givesProbabilities() const { return check_probability_model(model_) != 0; }

void LinearModel::probabilities(const WeightedKeywordList& vector, size_t classCount,
                                std::vector<double>& values) const {
  const int classes = get_nr_class(model_);
  std::vector<feature_node> nodes = nodesOf(vector, get_nr_feature(model_));
  std::vector<double> estimates(static_cast<size_t>(classes));
  predict_probability(model_, nodes.data(), estimates.data());
  const int* labels = model_->label;
  // Decision values far below 0 everywhere (hundreds) make every logistic value 0 and the
  // normalised ones 0 / 0: the same quotients are then taken in logarithms.
  if (std::any_of(estimates.begin(), estimates.end(), [](double p) { return !std::isfinite(p); })) {
    std::vector<double> decisions(static_cast<size_t>(classes));
    predict_values(model_, nodes.data(), decisions.data());
    std::vector<double> logs;
    if (classes == 2) {
      logs = {-std::log1p(std::exp(-decisions[0])), -std::log1p(std::exp(decisions[0]))};
    } else {
      for (double d : decisions) logs.push_back(d < 0 ? d - std::log1p(std::exp(d)) : -std::log1p(std::exp(-d)));
    }
    const double top = *std::max_element(logs.begin(), logs.end());
    double sum = 0.0;
    for (double l : logs) sum += std::exp(l - top);
    for (size_t i = 0; i < logs.size(); ++i) estimates[i] = std::exp(logs[i] - top) / sum;
  }
  values.assign(classCount, 0.0);
  for (int i = 0; i < classes; ++i) {
    if (labels[i] >= 0 && static_cast<size_t>(labels[i]) < classCount) values[labels[i]] = estimates[i];
  }
}

double LinearModel::coefficient(int feature, int category) const {
  const int machine = machineOf(model_, category);
  return machine < 0 ? 0.0 : get_decfun_coef(model_, feature + 1, machine);
}

double LinearModel::bias(int category) const {
  const int machine = machineOf(model_, category);
  return machine < 0 ? 0.0 : get_decfun_bias(model_, machine);
}

int LinearModel::decide(const WeightedKeywordList& vector, size_t classCount,
                        std::vector<double>& values) const {
  const int classes = get_nr_class(model_);
  std::vector<feature_node> nodes = nodesOf(vector, get_nr_feature(model_));
  std::vector<double> decisions(static_cast<size_t>(classes));
  const int predicted = static_cast<int>(predict_values(model_, nodes.data(), decisions.data()));
  const int* labels = model_->label;
  values.assign(classCount, -std::numeric_limits<double>::infinity());
  if (classes == 2) {
    // Two classes are one machine: its value speaks for the first label, against the second.
    if (labels[0] >= 0 && static_cast<size_t>(labels[0]) < classCount) values[labels[0]] = decisions[0];
    if (labels[1] >= 0 && static_cast<size_t>(labels[1]) < classCount) values[labels[1]] = -decisions[0];
  } else {
    for (int i = 0; i < classes; ++i) {
      if (labels[i] >= 0 && static_cast<size_t>(labels[i]) < classCount) values[labels[i]] = decisions[i];
    }
  }
  return predicted;
}

}  // namespace newsclass
