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
#include <stdexcept>

#include "base/atomic_file.h"
#include "base/parallel.h"
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

namespace {

// liblinear's parameters for `chosen` (without class weights).
parameter parametersOf(const LinearSettings& chosen) {
  parameter settings{};
  if (chosen.loss == LinearLoss::kLogistic) {
    // Trust-region Newton in the primal: no random order, liblinear's default tolerance.
    settings.solver_type = L2R_LR;
    settings.eps = 0.01;
  } else {
    settings.solver_type = L2R_L2LOSS_SVC_DUAL;
    settings.eps = 1e-4;
  }
  settings.C = chosen.cost;
  return settings;
}

// A training problem over rows in liblinear's form, with the bias feature.
struct Problem {
  std::vector<feature_node*> rows;
  std::vector<double> labels;
  problem data{};

  void seal(int featureCount) {
    data.l = static_cast<int>(rows.size());
    data.n = featureCount + 1;  // the bias feature included
    data.y = labels.data();
    data.x = rows.data();
    data.bias = 1.0;
  }
};

// Trains `data` with `settings`, refusing what liblinear would refuse. The dual solver's
// visiting order starts from seed 1 on this thread (solver_random.h).
struct ::model* trainChecked(const problem& data, const parameter& settings) {
  if (const char* fault = check_parameter(&data, &settings)) {
    throw DataFileError(std::string("linear classifier: ") + fault);
  }
  seedSolverShuffle();
  return ::train(&data, &settings);
}

// A model liblinear can use and free, from its parts.
struct ::model* modelOf(int solverType, const std::vector<int>& labels,
                        const std::vector<double>& weights, int featureCount, double bias) {
  // liblinear frees a model's weights, labels and the model itself with free().
  auto* built = static_cast<struct ::model*>(std::calloc(1, sizeof(struct ::model)));
  auto* labelCopy = static_cast<int*>(std::malloc(std::max<size_t>(1, labels.size()) * sizeof(int)));
  auto* weightCopy =
      static_cast<double*>(std::malloc(std::max<size_t>(1, weights.size()) * sizeof(double)));
  if (built == nullptr || labelCopy == nullptr || weightCopy == nullptr) {
    std::free(built);
    std::free(labelCopy);
    std::free(weightCopy);
    throw std::bad_alloc();
  }
  built->param.solver_type = solverType;
  built->nr_class = static_cast<int>(labels.size());
  built->nr_feature = featureCount;
  built->bias = bias;
  std::copy(labels.begin(), labels.end(), labelCopy);
  std::copy(weights.begin(), weights.end(), weightCopy);
  built->label = labelCopy;
  built->w = weightCopy;
  return built;
}

void checkTrainingInput(const std::vector<WeightedKeywordList>& vectors, double cost) {
  if (!(cost > 0.0) || !std::isfinite(cost)) {
    throw UsageError("--c: the cost must be a positive number");
  }
  if (vectors.empty()) throw DataFileError("linear classifier: no training article to learn from");
}

}  // namespace

std::vector<int> LinearModel::machineOrder(const std::vector<int>& classes) {
  std::vector<int> order;
  for (int c : classes) {
    if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
  }
  return order;
}

namespace {

// Every article's features in liblinear's form.
std::vector<std::vector<feature_node>> nodesOfAll(const std::vector<WeightedKeywordList>& vectors,
                                                  int featureCount) {
  std::vector<std::vector<feature_node>> nodes;
  nodes.reserve(vectors.size());
  for (const WeightedKeywordList& vector : vectors) nodes.push_back(nodesOf(vector, featureCount));
  return nodes;
}

// The machine of class `positive` against the rest over articles in liblinear's form (read
// only, so machines may be trained from them on several threads at once).
std::vector<double> trainOneAgainstRest(const std::vector<std::vector<feature_node>>& nodes,
                                        const std::vector<int>& classes, int featureCount,
                                        const LinearSettings& chosen, int positive) {
  // The class's articles first, then the rest, each in their order: liblinear's first label is
  // then +1, the class, and the machine it trains is the class's.
  Problem machine;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < nodes.size(); ++i) {
      if ((classes[i] == positive) != (pass == 0)) continue;
      machine.rows.push_back(const_cast<feature_node*>(nodes[i].data()));
      machine.labels.push_back(pass == 0 ? 1.0 : -1.0);
    }
  }
  machine.seal(featureCount);
  parameter settings = parametersOf(chosen);
  // One against the rest weighs the class's articles by its own weight and the rest by 1.
  int weightLabels[2] = {1, -1};
  double weights[2] = {1.0, 1.0};
  if (chosen.balancedClassWeights) {
    for (const auto& [label, weight] : balancedClassWeights(classes)) {
      if (label == positive) weights[0] = weight;
    }
    settings.nr_weight = 2;
    settings.weight_label = weightLabels;
    settings.weight = weights;
  }
  struct ::model* trained = trainChecked(machine.data, settings);
  std::vector<double> coefficients(trained->w, trained->w + featureCount + 1);
  const bool positiveFirst = trained->label[0] == 1;
  free_and_destroy_model(&trained);
  if (!positiveFirst) throw std::logic_error("a one-against-rest machine trained the rest first");
  return coefficients;
}

}  // namespace

std::vector<std::vector<double>> LinearModel::trainMachines(
    const std::vector<WeightedKeywordList>& vectors, const std::vector<int>& classes,
    size_t featureCount, const LinearSettings& chosen, const std::vector<int>& positives) {
  checkTrainingInput(vectors, chosen.cost);
  silenceLiblinear();
  const int features = static_cast<int>(featureCount);
  const std::vector<std::vector<feature_node>> nodes = nodesOfAll(vectors, features);
  std::vector<std::vector<double>> machines(positives.size());
  runInParallel(chosen.threads, positives.size(), [&](size_t machine, size_t) {
    machines[machine] = trainOneAgainstRest(nodes, classes, features, chosen, positives[machine]);
  });
  return machines;
}

LinearModel LinearModel::fromMachines(const std::vector<int>& order,
                                      const std::vector<std::vector<double>>& machines,
                                      size_t featureCount, LinearLoss loss) {
  const size_t size = featureCount + 1;
  const size_t count = order.size();
  // liblinear keeps the machines' weights interleaved: feature j of machine i at j * count + i.
  std::vector<double> weights(size * count);
  for (size_t i = 0; i < count; ++i) {
    for (size_t j = 0; j < size; ++j) weights[j * count + i] = machines[i][j];
  }
  return LinearModel(modelOf(parametersOf({1.0, loss}).solver_type, order, weights,
                             static_cast<int>(featureCount), 1.0));
}

LinearModel LinearModel::train(const std::vector<WeightedKeywordList>& vectors,
                               const std::vector<int>& classes, size_t featureCount,
                               const LinearSettings& chosen) {
  checkTrainingInput(vectors, chosen.cost);
  silenceLiblinear();
  const std::vector<int> order = machineOrder(classes);
  if (order.size() > 2) {
    return fromMachines(order, trainMachines(vectors, classes, featureCount, chosen, order),
                        featureCount, chosen.loss);
  }
  // Two classes (or one) are liblinear's own single machine.
  const int features = static_cast<int>(featureCount);
  std::vector<std::vector<feature_node>> nodes = nodesOfAll(vectors, features);
  Problem data;
  for (size_t i = 0; i < vectors.size(); ++i) {
    data.rows.push_back(nodes[i].data());
    data.labels.push_back(classes[i]);
  }
  data.seal(features);
  parameter settings = parametersOf(chosen);
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
  return LinearModel(trainChecked(data.data, settings));
}

LinearModel LinearModel::load(const std::string& path, size_t categoryCount, LinearLoss loss) {
  // The file is read once and checked line by line; liblinear's model is then built from what
  // was checked, so liblinear never parses a file (its reader believes any number it finds and
  // is several times slower) and nothing can change between the check and the use.
  const LinearModelFile checked =
      parseLinearModelFile(path, readTextFile(path), categoryCount, solverName(loss));
  return LinearModel(modelOf(loss == LinearLoss::kLogistic ? L2R_LR : L2R_L2LOSS_SVC_DUAL,
                             checked.labels, checked.weights, checked.featureCount, checked.bias));
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
