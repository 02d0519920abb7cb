// The KNN classifier: new text answered by its K nearest training vectors (models/kind_models.h);
// classify labels the vectors of testingVSM.dat by their nearest vectors of trainingVSM.dat,
// or explains one testing article's neighbours and votes.
#ifndef NEWSCLASS_MODELS_KNN_CLASSIFIER_H_
#define NEWSCLASS_MODELS_KNN_CLASSIFIER_H_

#include "models/classifier.h"

namespace newsclass {

const Classifier& knnClassifier();

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_KNN_CLASSIFIER_H_
