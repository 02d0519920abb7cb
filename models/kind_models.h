// The model of each classifier kind, which its Classifier loads (models/classifier.h): the
// answers of the KNN and of the linear classifiers to an article's words.
#ifndef NEWSCLASS_MODELS_KIND_MODELS_H_
#define NEWSCLASS_MODELS_KIND_MODELS_H_

#include <memory>

#include "base/stage_environment.h"
#include "models/model.h"
#include "models/model_description.h"

namespace newsclass {

// The KNN (knn/knn_predictor.h): reads dict.dat, keywords.dat and trainingVSM.dat (or its
// binary cache) with the description's K, vote, weighting, categories and training range. An
// answer is labelled when the words give a vector with a weight other than 0, weighted as the
// testing-vector stage weighs a testing article: the vote's winner with its share, the
// categories that got votes with theirs (count: votes / K; similarity: the category's
// similarities over all the neighbours' similarities) and the K neighbours.
std::unique_ptr<Model> loadKnnModel(const ModelDescription& description,
                                    const StageEnvironment& environment);

// The linear SVMs or logistic regression (linear/linear_run.h): reads linear.model, keywords.dat
// and dict.dat with the description's categories and training range. An answer is labelled
// when the words, weighted with tfidf as the testing articles were, hold a keyword of weight
// other than 0: the category of the highest decision value with that value (logistic: its
// probability), and every category with its value or probability; no neighbours.
std::unique_ptr<Model> loadLinearModel(const ModelDescription& description,
                                       const StageEnvironment& environment);

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_KIND_MODELS_H_
