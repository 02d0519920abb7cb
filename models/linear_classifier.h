// The linear classifiers, the SVMs ("linear") and logistic regression ("logistic"): new text
// answered by the machines of linear.model (models/kind_models.h); classify trains them on the
// training range's tfidf vectors from dict.dat and keywords.dat, writes linear.model and labels
// the testing articles' text, or explains one testing article's decision values.
#ifndef NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_
#define NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_

#include <string>
#include <utility>
#include <vector>

#include "linear/linear_model.h"
#include "models/classifier.h"

namespace newsclass {

const Classifier& linearClassifier();
const Classifier& logisticClassifier();

// How the description's linear classifier trains: its loss, C and class weights.
LinearSettings linearSettings(const ModelDescription& description);

// What model.json records of a linear classifier: "classifier", "c" and, when balanced,
// "class_weight".
std::vector<std::pair<std::string, std::string>> linearFacts(const ModelDescription& description);

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_
