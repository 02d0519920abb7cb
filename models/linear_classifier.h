// The linear classifier: new text answered by the machines of linear.model
// (models/kind_models.h); classify trains them on the training range's tfidf vectors from
// dict.dat and keywords.dat, writes linear.model and labels the testing articles' text, or
// explains one testing article's decision values.
#ifndef NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_
#define NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_

#include "models/classifier.h"

namespace newsclass {

const Classifier& linearClassifier();

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_LINEAR_CLASSIFIER_H_
