#include "models/linear_classifier.h"

#include <cstdio>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_utils.h"
#include "corpusdb/queries.h"
#include "dictionary/dictionary_file.h"
#include "linear/linear_run.h"
#include "models/kind_models.h"
#include "vsm/keywords.h"

namespace newsclass {
namespace {

// What training leaves for labelling the testing articles: the model and the dictionary and
// keywords their vectors are weighed with.
struct TrainedModel {
  Dictionary dictionary;
  std::vector<std::string> keywords;
  LinearModel model;
};

// Trains the model on the training range, in memory. UsageError for a category without a
// training article; DataFileError naming a file that cannot be used.
TrainedModel train(const ModelDescription& description, const StageEnvironment& environment) {
  const ModelFiles& files = description.files;
  const std::vector<int> classes =
      linearTrainingClasses(environment, description.range, description.categories);
  Dictionary dictionary;
  loadDictionary(dictionary, files.dictionary);
  std::vector<std::string> keywords = readKeywords(files.keywords);
  if (keywords.empty()) {
    throw DataFileError(files.keywords + ": holds no keywords (run select-features first)");
  }
  LinearModel model =
      trainLinearModel(description.range, dictionary, keywords, classes, description.cost);
  return {std::move(dictionary), std::move(keywords), std::move(model)};
}

// Trains the model, writes linear.model and says so on the console.
TrainedModel trainAndSave(const ModelDescription& description,
                          const StageEnvironment& environment) {
  TrainedModel trained = train(description, environment);
  trained.model.save(description.files.linearModel);
  environment.console->line("linear model: " + std::to_string(trained.keywords.size()) +
                            " features, C = " + shortestDecimal(description.cost) + " -> " +
                            userTextToGbk(description.files.linearModel));
  return trained;
}

class LinearClassifier : public Classifier {
 public:
  bool answersByNeighbours() const override { return false; }
  std::string ownWeighting() const override { return "tfidf"; }
  std::vector<std::string> modelFiles(const ModelFiles& files) const override {
    return {files.dictionary, files.keywords, files.linearModel};
  }
  std::unique_ptr<Model> load(const ModelDescription& description,
                              const StageEnvironment& environment) const override {
    return loadLinearSvmModel(description, environment);
  }

  void checkTestSetRequest(const ModelDescription&) const override {}
  std::vector<std::string> testSetFiles(const ModelFiles& files) const override {
    return {files.dictionary, files.keywords};
  }
  bool segmentsTestingText() const override { return true; }

  ClassificationResults classifyTestSet(const ModelDescription& description,
                                        const StageEnvironment& environment, int32_t firstId,
                                        int32_t lastId) const override {
    const TrainedModel trained = trainAndSave(description, environment);
    const auto vectors = sparseTestingVectors(environment, description.range, trained.dictionary,
                                              trained.keywords, description.terms, firstId, lastId,
                                              kTestingCorpusTable);
    ClassificationResults results;
    linearClassify(environment, trained.model, vectors, description.categories, results);
    return results;
  }

  void explain(const ModelDescription& description, const StageEnvironment& environment,
               int32_t articleId) const override {
    // An explanation writes nothing: linear.model stays the one model.json vouches for.
    const TrainedModel trained = train(description, environment);
    const auto vectors = sparseTestingVectors(environment, description.range, trained.dictionary,
                                              trained.keywords, description.terms, articleId,
                                              articleId,
                                              kTestingCorpusTable);
    if (vectors.empty()) {
      throw UsageError("--explain: testing article " + std::to_string(articleId) +
                       " has no text in TestingCorpus");
    }
    const std::vector<std::string>& categories = description.categories;
    std::vector<double> values;
    const int predicted = trained.model.decide(vectors.front().second, categories.size(), values);
    Console& console = *environment.console;
    console.line("testing article " + std::to_string(articleId) + ": predicted " +
                 categories[static_cast<size_t>(predicted)] +
                 " (linear, decision value per category)");
    for (size_t c = 0; c < values.size(); ++c) {
      char value[48];
      std::snprintf(value, sizeof value, "%.6f", values[c]);
      console.line(categories[c] + " " + value);
    }
  }

  std::vector<std::pair<std::string, std::string>> facts(
      const ModelDescription& description) const override {
    return {{"classifier", "linear"}, {"c", shortestDecimal(description.cost)}};
  }
  std::vector<std::string> writtenFiles(const ModelFiles& files) const override {
    return {files.linearModel};
  }
};

}  // namespace

const Classifier& linearClassifier() {
  static const LinearClassifier kClassifier;
  return kClassifier;
}

}  // namespace newsclass
