// A kind of classifier (KNN, the linear SVMs): what it takes from a model description, the
// Model it loads to answer new text, and its part of the classify command, labelling the
// testing articles or explaining one of them. The factory (model_factory.h) holds one of each
// kind and is the only place that tells them apart: commands ask a Classifier what it reads and
// which choices apply to it.
#ifndef NEWSCLASS_MODELS_CLASSIFIER_H_
#define NEWSCLASS_MODELS_CLASSIFIER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/stage_environment.h"
#include "knn/knn_types.h"
#include "models/model.h"
#include "models/model_description.h"

namespace newsclass {

class Classifier {
 public:
  virtual ~Classifier() = default;

  // --- Answering new text ---
  // Whether it answers by neighbours, so that K, the vote and the neighbours apply to it.
  virtual bool answersByNeighbours() const = 0;
  // The name of the weighting it always weighs text with ("tfidf"), whatever the description
  // says; empty when it weighs as the description says.
  virtual std::string ownWeighting() const = 0;
  // The files load() reads, in the order a command checks them.
  virtual std::vector<std::string> modelFiles(const ModelFiles& files) const = 0;
  // Loads the model: reads its files (DataFileError naming one that is missing or does not fit
  // the others) and the stored categories of the training range's articles from the
  // environment's database. Loading lines go to the environment's console, warnings to its
  // warning stream; nothing of the environment is kept.
  virtual std::unique_ptr<Model> load(const ModelDescription& description,
                                      const StageEnvironment& environment) const = 0;

  // --- Classifying the testing articles ---
  // Refuses a choice it cannot take before any file is read (UsageError naming the option).
  virtual void checkTestSetRequest(const ModelDescription& description) const = 0;
  // The files classifyTestSet and explain read, in the order a command checks them.
  virtual std::vector<std::string> testSetFiles(const ModelFiles& files) const = 0;
  // Whether it segments the testing articles' text (then a command points the segmenter at the
  // files the folder was built with).
  virtual bool segmentsTestingText() const = 0;
  // Labels the testing articles, ids firstId to lastId of TestingCorpus, in ascending id, as
  // the stage's lines on the environment's console say: the KNN those testingVSM.dat holds (the
  // range it was built from), the linear classifier those with text in the range, after
  // training on the training range and writing its model file.
  virtual ClassificationResults classifyTestSet(const ModelDescription& description,
                                                const StageEnvironment& environment,
                                                int32_t firstId, int32_t lastId) const = 0;
  // Prints on the environment's console how testing article `articleId` is labelled (the KNN's
  // neighbours and votes, the linear classifier's decision values, after training and writing
  // its model file). UsageError when the article has nothing to classify.
  virtual void explain(const ModelDescription& description, const StageEnvironment& environment,
                       int32_t articleId) const = 0;
  // What model.json records of the classifier once classifyTestSet is done ("classifier" and
  // its own choices, as text), and the files it wrote besides the predictions.
  virtual std::vector<std::pair<std::string, std::string>> facts(
      const ModelDescription& description) const = 0;
  virtual std::vector<std::string> writtenFiles(const ModelFiles& files) const = 0;
};

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_CLASSIFIER_H_
