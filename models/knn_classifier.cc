#include "models/knn_classifier.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "base/cluster.h"
#include "base/errors.h"
#include "corpusdb/queries.h"
#include "dictionary/dictionary_file.h"
#include "knn/neighbour_shards.h"
#include "knn/neighbour_vote.h"
#include "knn/test_set_run.h"
#include "models/kind_models.h"
#include "vsm/keyword_weights.h"
#include "vsm/keywords.h"
#include "vsm/testing_vsm.h"
#include "vsm/vector_file.h"

namespace newsclass {
namespace {

// Prints the neighbours of one testing article in rank order and the votes that decided it.
void printExplanation(Console& console, int32_t articleId, int k,
                      const KnnExplanation& explanation, bool bySimilarity) {
  console.line("testing article " + std::to_string(articleId) + ": predicted " +
               explanation.predicted + " (K = " + std::to_string(k) +
               ", neighbours from TrainingCorpus)");
  console.line("rank  article    similarity  stored category");
  for (size_t i = 0; i < explanation.neighbours.size(); ++i) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%-5zu %-10d %-11.6f ", i + 1,
                  explanation.neighbours[i].articleId, explanation.neighbours[i].similarity);
    console.line(numbers + (explanation.found[i] ? explanation.storedCategories[i]
                                                 : std::string("(not in TrainingCorpus)")));
  }
  std::string votes = "votes:";
  for (size_t i = 0; i < explanation.votes.size(); ++i) {
    votes += (i == 0 ? " " : ", ") + explanation.votes[i].category + " " +
             std::to_string(explanation.votes[i].votes);
    if (bySimilarity) {
      char weight[32];
      std::snprintf(weight, sizeof weight, " (%.6f)", explanation.votes[i].weight);
      votes += weight;
    }
  }
  console.line(votes);
}

// The vector testingVSM.dat holds for a testing article without a keyword (the default
// weighting's), from dict.dat and keywords.dat, so that the stage can count such articles in its
// warning. Classifying needs neither file: without them (or with files that do not fit the
// vectors) only the articles whose weights are all 0 are counted.
std::optional<WeightVector> keywordlessVectorOf(const ModelDescription& description,
                                                size_t dimension) {
  const ModelFiles& files = description.files;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(files.dictionary, ec) ||
      !std::filesystem::is_regular_file(files.keywords, ec)) {
    return std::nullopt;
  }
  try {
    const std::vector<std::string> keywords = readKeywords(files.keywords);
    if (keywords.size() != dimension) return std::nullopt;
    Dictionary dictionary;
    loadDictionary(dictionary, files.dictionary);
    return vsm::keywordlessTestingVector(vsm::WeightTable(
        vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords)), description.range.size()));
  } catch (const DataFileError&) {
    return std::nullopt;
  }
}

struct VectorFiles {
  VsmModel training;
  VsmModel testing;
};

// Both vector files, checked against K: DataFileError for a training file without a vector,
// UsageError when K exceeds the training vectors.
VectorFiles loadVectorFiles(const ModelDescription& description,
                            const StageEnvironment& environment) {
  const std::string& trainingPath = description.files.trainingVectors;
  VectorFiles vectors;
  loadVsm(environment, vectors.training, trainingPath);
  loadVsm(environment, vectors.testing, description.files.testingVectors);
  if (vectors.training.empty()) {
    throw DataFileError(trainingPath + ": holds no training vectors (run build-vectors first)");
  }
  if (static_cast<size_t>(description.k) > vectors.training.size()) {
    throw UsageError("--k: K must lie between 1 and the number of training vectors in " +
                     trainingPath + " (" + std::to_string(vectors.training.size()) + "), got " +
                     std::to_string(description.k));
  }
  return vectors;
}

class KnnClassifier : public Classifier {
 public:
  bool answersByNeighbours() const override { return true; }
  std::string ownWeighting() const override { return ""; }
  std::vector<std::string> modelFiles(const ModelFiles& files) const override {
    return {files.dictionary, files.keywords, files.trainingVectors};
  }
  std::unique_ptr<Model> load(const ModelDescription& description,
                              const StageEnvironment& environment) const override {
    return loadKnnModel(description, environment);
  }

  void checkTestSetRequest(const ModelDescription& description) const override {
    if (description.k < 1) {
      throw UsageError("--k: K must be at least 1, got " + std::to_string(description.k));
    }
    if (description.knnWeight > 0.0) {
      throw UsageError("--knn-weight: the knn classifier is all neighbours already (the blend "
                       "is for --classifier linear)");
    }
    if (description.balancedClassWeights) {
      throw UsageError("--class-weight: the knn classifier has no class weights (they are for "
                       "--classifier linear and logistic)");
    }
  }
  std::vector<std::string> testSetFiles(const ModelFiles& files) const override {
    return {files.trainingVectors, files.testingVectors};
  }
  bool segmentsTestingText() const override { return false; }

  // Every vector of testingVSM.dat, whatever range it was built from.
  ClassificationResults classifyTestSet(const ModelDescription& description,
                                        const StageEnvironment& environment, int32_t,
                                        int32_t) const override {
    if (cluster::distributed()) return classifyAcrossRanks(description, environment);
    const VectorFiles vectors = loadVectorFiles(description, environment);
    ClassificationResults results;
    const std::optional<WeightVector> keywordless =
        keywordlessVectorOf(description, checkTrainingModel(vectors.training));
    knnClassifyTestSet(environment, description.similarityVote, kTrainingCorpusTable,
                       vectors.training, vectors.testing, description.categories, description.k,
                       results, keywordless ? &*keywordless : nullptr);
    return results;
  }

  // Across the ranks of an MPI job: every rank reads both files and keeps its share of the
  // training vectors; the predictions come back on rank 0 (knn/neighbour_shards.h).
  static ClassificationResults classifyAcrossRanks(const ModelDescription& description,
                                                   const StageEnvironment& environment) {
    VectorFiles vectors = loadVectorFiles(description, environment);
    const size_t dimension = checkTrainingModel(vectors.training);
    const size_t total = vectors.training.size();
    std::vector<int32_t> trainingIds;
    std::optional<WeightVector> keywordless;
    if (cluster::rank() == 0) {
      trainingIds.reserve(total);
      for (const auto& entry : vectors.training) trainingIds.push_back(entry.first);
      keywordless = keywordlessVectorOf(description, dimension);
    }
    keepOwnShare(vectors.training);
    return knnClassifyAcrossRanks(environment, description.similarityVote, kTrainingCorpusTable,
                                  vectors.training, trainingIds, total, dimension,
                                  vectors.testing, description.categories, description.k,
                                  keywordless ? &*keywordless : nullptr);
  }

  void explain(const ModelDescription& description, const StageEnvironment& environment,
               int32_t articleId) const override {
    const VectorFiles vectors = loadVectorFiles(description, environment);
    auto found = vectors.testing.find(articleId);
    if (found == vectors.testing.end()) {
      throw UsageError("--explain: testing article " + std::to_string(articleId) + " is not in " +
                       description.files.testingVectors);
    }
    const KnnExplanation explanation = explainKnnClassification(
        environment, description.similarityVote, description.k, kTrainingCorpusTable, found->first,
        found->second, description.categories, vectors.training);
    printExplanation(*environment.console, found->first, description.k, explanation,
                     description.similarityVote);
  }

  std::vector<std::pair<std::string, std::string>> facts(
      const ModelDescription& description) const override {
    return {{"classifier", "knn"},
            {"k", std::to_string(description.k)},
            {"vote", description.similarityVote ? "similarity" : "count"}};
  }
  std::vector<std::string> writtenFiles(const ModelFiles&) const override { return {}; }
};

}  // namespace

const Classifier& knnClassifier() {
  static const KnnClassifier kClassifier;
  return kClassifier;
}

}  // namespace newsclass
