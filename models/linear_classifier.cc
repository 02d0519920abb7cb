#include "models/linear_classifier.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "base/cluster.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_utils.h"
#include "corpusdb/queries.h"
#include "dictionary/dictionary_file.h"
#include "linear/linear_ranks.h"
#include "linear/linear_run.h"
#include "models/kind_models.h"
#include "vsm/keywords.h"

namespace newsclass {
namespace {

// The description's settings, the machines trained on `threads` threads.
LinearSettings settingsOnThreads(const ModelDescription& description, int threads) {
  LinearSettings settings = linearSettings(description);
  settings.threads = threads;
  return settings;
}

// What training leaves for labelling the testing articles: the model and the dictionary and
// keywords their vectors are weighed with.
struct TrainedModel {
  Dictionary dictionary;
  std::vector<std::string> keywords;
  LinearMachines machines;
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
  LinearMachines machines =
      trainLinearMachines(description, description.range, dictionary, keywords, classes,
                          environment.threads);
  return {std::move(dictionary), std::move(keywords), std::move(machines)};
}

// Trains the model, writes linear.model and says so on the console.
TrainedModel trainAndSave(const ModelDescription& description,
                          const StageEnvironment& environment) {
  TrainedModel trained = train(description, environment);
  trained.machines.model.save(description.files.linearModel);
  environment.console->line(description.classifier + " model: " +
                            std::to_string(trained.keywords.size()) +
                            " features, C = " + shortestDecimal(description.cost) + " -> " +
                            userTextToGbk(description.files.linearModel));
  return trained;
}

// Prints the decision value (and, for logistic regression, the probability) of every category
// and the terms that added most to the predicted one's.
void printExplanation(const ModelDescription& description, const TrainedModel& trained,
                      const WeightedKeywordList& vector, int32_t articleId, Console& console) {
  const std::vector<std::string>& categories = description.categories;
  std::vector<double> values, probabilities;
  const NeighbourBlend* blend = trained.machines.blendOrNull();
  NeighbourBlend::Scratch scratch = blend ? blend->makeScratch() : NeighbourBlend::Scratch();
  std::vector<double> decisions;
  trained.machines.model.decide(vector, categories.size(), decisions);
  const int predicted =
      linearLabel(trained.machines.model, blend, vector, categories.size(), values, &scratch);
  const bool probable = trained.machines.model.givesProbabilities();
  if (probable) trained.machines.model.probabilities(vector, categories.size(), probabilities);
  const std::string& winner = categories[static_cast<size_t>(predicted)];
  console.line("testing article " + std::to_string(articleId) + ": predicted " + winner + " (" +
               description.classifier + ", decision value" +
               (blend ? " raised by the neighbours" : "") + (probable ? " and probability" : "") +
               " per category)");
  char number[48];
  for (size_t c = 0; c < values.size(); ++c) {
    std::snprintf(number, sizeof number, "%.6f", values[c]);
    std::string line = categories[c] + " " + number;
    if (probable) {
      std::snprintf(number, sizeof number, " %.6f", probabilities[c]);
      line += number;
    }
    console.line(line);
  }
  console.line("terms that added most to " + winner + " (coefficient x weight):");
  for (const auto& [term, value] : termContributions(trained.machines.model, vector,
                                                     trained.keywords, predicted,
                                                     kExplainedTerms)) {
    std::snprintf(number, sizeof number, "%.6f", value);
    console.line("  " + term + " " + number);
  }
  std::snprintf(number, sizeof number, "%.6f", trained.machines.model.bias(predicted));
  console.line("  (bias) " + std::string(number));
  if (blend) {
    const size_t winning = static_cast<size_t>(predicted);
    std::snprintf(number, sizeof number, "%.6f", values[winning] - decisions[winning]);
    console.line("  (neighbours) " + std::string(number) + ", " +
                 shortestDecimal(blend->weight()) + " x its similarity share of the " +
                 std::to_string(blend->k()) + " nearest training articles");
  }
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
    return loadLinearModel(description, environment);
  }

  void checkTestSetRequest(const ModelDescription& description) const override {
    if (description.knnWeight > 0.0 && description.classifier != "linear") {
      throw UsageError("--knn-weight: the neighbour blend raises the linear SVMs' decision "
                       "values (--classifier linear), not the " + description.classifier +
                       " classifier's");
    }
    if (description.knnWeight > 0.0 && description.k < 1) {
      throw UsageError("--k: K must be at least 1, got " + std::to_string(description.k));
    }
  }
  std::vector<std::string> testSetFiles(const ModelFiles& files) const override {
    return {files.dictionary, files.keywords};
  }
  bool segmentsTestingText() const override { return true; }

  ClassificationResults classifyTestSet(const ModelDescription& description,
                                        const StageEnvironment& environment, int32_t firstId,
                                        int32_t lastId) const override {
    // Across ranks every rank trains its share of the machines; rank 0 does the rest.
    if (cluster::rank() != 0) {
      trainLinearShareOnRank(description, environment.threads);
      return ClassificationResults();
    }
    const TrainedModel trained = trainAndSave(description, environment);
    const auto vectors = sparseTestingVectors(environment, description.range, trained.dictionary,
                                              trained.keywords, description.terms, firstId, lastId,
                                              kTestingCorpusTable);
    ClassificationResults results;
    linearClassify(environment, trained.machines.model, trained.machines.blendOrNull(), vectors,
                   description.categories, results);
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
    printExplanation(description, trained, vectors.front().second, articleId, *environment.console);
  }

  std::vector<std::pair<std::string, std::string>> facts(
      const ModelDescription& description) const override {
    return linearFacts(description);
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

const Classifier& logisticClassifier() {
  static const LinearClassifier kClassifier;
  return kClassifier;
}

LinearMachines trainLinearMachines(const ModelDescription& description, ArticleRange range,
                                   const Dictionary& dictionary,
                                   const std::vector<std::string>& keywords,
                                   const std::vector<int>& classes, int threads) {
  return trainLinearMachines(description, linearTrainingSet(range, dictionary, keywords, classes),
                             keywords, threads);
}

LinearMachines trainLinearMachines(const ModelDescription& description,
                                   const LinearTrainingSet& training,
                                   const std::vector<std::string>& keywords, int threads) {
  const LinearSettings settings = settingsOnThreads(description, threads);
  // Under mpirun the other ranks wait in trainLinearAcrossRanks for their share.
  LinearModel model = cluster::distributed()
                          ? *trainLinearAcrossRanks(&training, keywords.size(), settings)
                          : trainLinearModel(training, keywords, settings);
  return {std::move(model), neighbourBlendFor(description, training, keywords.size())};
}

void trainLinearShareOnRank(const ModelDescription& description, int threads) {
  trainLinearAcrossRanks(nullptr, 0, settingsOnThreads(description, threads));
}

std::optional<NeighbourBlend> neighbourBlendFor(const ModelDescription& description,
                                                const LinearTrainingSet& training,
                                                size_t featureCount) {
  std::optional<NeighbourBlend> blend;
  if (description.knnWeight > 0.0) {
    blend.emplace(training.vectors, training.classes, featureCount, description.categories.size(),
                  static_cast<size_t>(description.k), description.knnWeight);
  }
  return blend;
}

LinearSettings linearSettings(const ModelDescription& description) {
  LinearSettings settings;
  settings.cost = description.cost;
  settings.loss = description.classifier == "logistic" ? LinearLoss::kLogistic
                                                       : LinearLoss::kSquaredHinge;
  settings.balancedClassWeights = description.balancedClassWeights;
  return settings;
}

std::vector<std::pair<std::string, std::string>> linearFacts(const ModelDescription& description) {
  std::vector<std::pair<std::string, std::string>> facts = {
      {"classifier", description.classifier}, {"c", shortestDecimal(description.cost)}};
  if (description.balancedClassWeights) facts.emplace_back("class_weight", "balanced");
  if (description.knnWeight > 0.0) {
    facts.emplace_back("k", std::to_string(description.k));
    facts.emplace_back("knn_weight", shortestDecimal(description.knnWeight));
  }
  return facts;
}

}  // namespace newsclass
