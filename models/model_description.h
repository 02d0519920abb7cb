// What a classifier is loaded from: the plain facts a data folder's model.json records (the
// classifier's name and its choices, the training range and the categories) and the paths of
// the folder's files. The command line fills it; the models read files, never model.json.
#ifndef NEWSCLASS_MODELS_MODEL_DESCRIPTION_H_
#define NEWSCLASS_MODELS_MODEL_DESCRIPTION_H_

#include <string>
#include <vector>

#include "base/stage_environment.h"
#include "segmentation/term_kinds.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// The data folder's files a classifier may read or write. A classifier touches only its own.
struct ModelFiles {
  std::string dictionary;       // dict.dat: the keywords' document frequencies
  std::string keywords;         // keywords.dat: the features
  std::string trainingVectors;  // trainingVSM.dat: the KNN's training vectors
  std::string testingVectors;   // testingVSM.dat: the testing articles classify labels by KNN
  std::string linearModel;      // linear.model: the linear classifier's machines
};

struct ModelDescription {
  // "knn", "linear" or "logistic" (model_factory.h lists the names).
  std::string classifier = "knn";
  // KNN: the number of neighbours and whether they vote with their similarities.
  int k = 10;
  bool similarityVote = false;
  // How the KNN weighs the keywords of a text (the linear classifier always weighs with tfidf).
  Weighting weighting = Weighting::kSpec;
  // The terms a text yields, as the dictionary took them.
  TermKinds terms = TermKinds::kWords;
  // The linear classifiers' cost C, which training uses, and whether each class's C is scaled
  // so that every class weighs alike (--class-weight balanced).
  double cost = 1.0;
  bool balancedClassWeights = false;
  // The linear SVMs' neighbour blend: each decision value raised by this weight times the
  // similarity share of the category among the K nearest training articles; 0: no blend.
  double knnWeight = 0.0;
  ModelFiles files;
  // The categories in list order: ties go to the one listed first.
  std::vector<std::string> categories;
  // The training range, whose size N weighs the keywords, and whose articles the KNN's
  // neighbours are and the linear classifier learns from.
  ArticleRange range;
};

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_MODEL_DESCRIPTION_H_
