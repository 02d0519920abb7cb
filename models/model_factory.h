// The factory of classifiers: every kind by its name, as model.json and --classifier name it,
// and the model a description describes.
#ifndef NEWSCLASS_MODELS_MODEL_FACTORY_H_
#define NEWSCLASS_MODELS_MODEL_FACTORY_H_

#include <memory>
#include <string>
#include <vector>

#include "base/stage_environment.h"
#include "models/classifier.h"
#include "models/model.h"
#include "models/model_description.h"

namespace newsclass {

// The classifiers' names: "knn", "linear".
const std::vector<std::string>& classifierNames();

// The classifier of that name. UsageError "classifier NAME: unknown; the classifiers are knn and
// linear" for any other name.
const Classifier& classifierNamed(const std::string& name);

// Loads the model of `description` in `environment`: classifierNamed(description.classifier)
// .load(...), with its errors.
std::unique_ptr<Model> loadModel(const ModelDescription& description,
                                 const StageEnvironment& environment);

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_MODEL_FACTORY_H_
