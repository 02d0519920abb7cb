#include "models/model_factory.h"

#include <utility>

#include "base/errors.h"
#include "models/knn_classifier.h"
#include "models/linear_classifier.h"

namespace newsclass {
namespace {

// Every classifier with its name, in the order the names are listed.
const std::vector<std::pair<std::string, const Classifier*>>& classifiers() {
  static const std::vector<std::pair<std::string, const Classifier*>> kClassifiers = {
      {"knn", &knnClassifier()},
      {"linear", &linearClassifier()},
      {"logistic", &logisticClassifier()}};
  return kClassifiers;
}

}  // namespace

const std::vector<std::string>& classifierNames() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> names;
    for (const auto& [name, classifier] : classifiers()) names.push_back(name);
    return names;
  }();
  return kNames;
}

const Classifier& classifierNamed(const std::string& name) {
  for (const auto& [known, classifier] : classifiers()) {
    if (known == name) return *classifier;
  }
  std::string names;
  for (size_t i = 0; i < classifierNames().size(); ++i) {
    names += (i == 0 ? "" : i + 1 == classifierNames().size() ? " and " : ", ") +
             classifierNames()[i];
  }
  throw UsageError("classifier " + name + ": unknown; the classifiers are " + names);
}

std::unique_ptr<Model> loadModel(const ModelDescription& description,
                                 const StageEnvironment& environment) {
  return classifierNamed(description.classifier).load(description, environment);
}

}  // namespace newsclass
