// The linear classifiers, the SVMs ("linear") and logistic regression ("logistic"): new text
// answered by the machines of linear.model (models/kind_models.h); classify trains them on the
// training range's tfidf vectors from dict.dat and keywords.dat, writes linear.model and labels
// the testing articles' text, or explains one testing article's decision values.
#ifndef NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_
#define NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dictionary/dictionary.h"
#include "linear/linear_model.h"
#include "linear/linear_run.h"
#include "linear/neighbour_blend.h"
#include "models/classifier.h"

namespace newsclass {

const Classifier& linearClassifier();
const Classifier& logisticClassifier();

// How the description's linear classifier trains: its loss, C and class weights.
LinearSettings linearSettings(const ModelDescription& description);

// The machines the description's linear classifier trains, and its neighbour blend when it
// asks for one (a knn weight).
struct LinearMachines {
  LinearModel model;
  std::optional<NeighbourBlend> blend;
  const NeighbourBlend* blendOrNull() const { return blend ? &*blend : nullptr; }
};
// Trains them on the training articles of `range` (description.range but for the pipeline,
// which trains on its own) with the classes linearTrainingClasses gave them, the machines on
// `threads` threads (the model does not depend on it).
LinearMachines trainLinearMachines(const ModelDescription& description, ArticleRange range,
                                   const Dictionary& dictionary,
                                   const std::vector<std::string>& keywords,
                                   const std::vector<int>& classes, int threads);

// A rank other than 0 of a distributed run: trains its share of the machines rank 0's
// trainLinearMachines asks for, on `threads` threads, and hands them to rank 0.
void trainLinearShareOnRank(const ModelDescription& description, int threads);

// The neighbour blend the description asks for over `training` (none without a knn weight).
std::optional<NeighbourBlend> neighbourBlendFor(const ModelDescription& description,
                                                const LinearTrainingSet& training,
                                                size_t featureCount);

// The same from a training set already built (tune trains every setting of a fold on one).
LinearMachines trainLinearMachines(const ModelDescription& description,
                                   const LinearTrainingSet& training,
                                   const std::vector<std::string>& keywords, int threads);

// What model.json records of a linear classifier: "classifier", "c" and, when balanced,
// "class_weight".
std::vector<std::pair<std::string, std::string>> linearFacts(const ModelDescription& description);

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_
