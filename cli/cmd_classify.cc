// classify: the classification of the testing articles, saved to predictions.dat, by KNN (the
// testing vectors against the training vectors) or, with --classifier linear, by linear SVMs
// trained from dict.dat and keywords.dat and saved to linear.model; or the explanation of one
// article's prediction.
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "corpusdb/queries.h"
#include "evaluation/evaluation_report.h"
#include "evaluation/predictions_file.h"
#include "knn/category_check.h"
#include "knn/neighbour_vote.h"
#include "linear/linear_run.h"
#include "vsm/testing_vsm.h"

namespace newsclass {
namespace {

struct ClassifyOptions {
  int k = 10;
  std::string vote = "count";
  std::string classifier = "knn";
  double cost = 1.0;
  std::optional<int32_t> explain;
};

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

// The linear classifier: trains linear.model from dict.dat and keywords.dat, then classifies the
// testing range's articles from the database (or explains one article's decision values).
int runLinearClassify(RunContext& context, const ClassifyOptions& options) {
  const std::string dictionaryPath = context.dataPath(kDictionaryFile);
  const std::string keywordPath = context.dataPath(kKeywordsFile);
  requireCurrentFiles(context, {kDictionaryFile, kKeywordsFile});
  // The testing articles are segmented as the dictionary's were.
  if (hasModelFacts(context)) useRecordedSegmenterFiles(context, readModelFacts(context));
  CorpusProcessor processor = context.processor();
  checkCategoriesInTable(processor, context.categories, kTrainingCorpusTable);
  const std::vector<int> classes = linearTrainingClasses(processor, context.categories);
  Dictionary dictionary;
  processor.loadDictionary(dictionary, dictionaryPath);
  const std::vector<std::string> keywords = processor.readKeywords(keywordPath);
  if (keywords.empty()) {
    throw DataFileError(keywordPath + ": holds no keywords (run select-features first)");
  }
  const std::string modelPath = context.dataPath(kLinearModelFile);
  LinearModel model = trainLinearModel(processor, dictionary, keywords, classes, options.cost);
  model.save(modelPath);
  context.console().line("linear model: " + std::to_string(keywords.size()) + " features, C = " +
                         shortestDecimal(options.cost) + " -> " + userTextToGbk(modelPath));
  const int32_t first = options.explain ? *options.explain : context.testFirst;
  const int32_t last = options.explain ? *options.explain : context.testLast;
  const auto vectors =
      sparseTestingVectors(processor, dictionary, keywords, first, last, kTestingCorpusTable);
  if (options.explain) {
    if (vectors.empty()) {
      throw UsageError("--explain: testing article " + std::to_string(*options.explain) +
                       " has no text in TestingCorpus");
    }
    std::vector<double> values;
    const int predicted = model.decide(vectors.front().second, context.categories.size(), values);
    context.console().line("testing article " + std::to_string(*options.explain) + ": predicted " +
                           context.categories[static_cast<size_t>(predicted)] +
                           " (linear, decision value per category)");
    for (size_t c = 0; c < values.size(); ++c) {
      char value[48];
      std::snprintf(value, sizeof value, "%.6f", values[c]);
      context.console().line(context.categories[c] + " " + value);
    }
    return 0;
  }
  ClassificationResults results;
  linearClassify(processor, model, vectors, context.categories, results);
  const std::string path = context.dataPath(kPredictionsFile);
  savePredictions(results, path);
  context.recordFacts(ProvenanceStage::kClassifier,
                      {{"classifier", "linear"}, {"c", shortestDecimal(options.cost)}},
                      {kLinearModelFile, kPredictionsFile});
  context.console().line("predictions: " + std::to_string(results.size()) + " articles -> " +
                         userTextToGbk(path));
  return 0;
}

// The vector testingVSM.dat holds for a testing article without a keyword (the default
// weighting's), from dict.dat and keywords.dat, so that the stage can count such articles in its
// warning. Classifying needs neither file: without them (or with files that do not fit the
// vectors) only the articles whose weights are all 0 are counted.
std::optional<WeightVector> keywordlessVectorOf(const RunContext& context,
                                                CorpusProcessor& processor, size_t dimension) {
  const std::string dictionaryPath = context.dataPath(kDictionaryFile);
  const std::string keywordPath = context.dataPath(kKeywordsFile);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(dictionaryPath, ec) ||
      !std::filesystem::is_regular_file(keywordPath, ec)) {
    return std::nullopt;
  }
  try {
    const std::vector<std::string> keywords = processor.readKeywords(keywordPath);
    if (keywords.size() != dimension) return std::nullopt;
    Dictionary dictionary;
    processor.loadDictionary(dictionary, dictionaryPath);
    return vsm::keywordlessTestingVector(vsm::WeightTable(
        vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords)),
        static_cast<int64_t>(context.trainLast) - context.trainFirst + 1));
  } catch (const DataFileError&) {
    return std::nullopt;
  }
}

int runClassify(RunContext& context, const ClassifyOptions& options) {
  if (options.classifier == "linear") return runLinearClassify(context, options);
  if (options.k < 1) {
    throw UsageError("--k: K must be at least 1, got " + std::to_string(options.k));
  }
  const std::string trainingPath = context.dataPath(kTrainingVectorsFile);
  const std::string testingPath = context.dataPath(kTestingVectorsFile);
  requireCurrentFiles(context, {kTrainingVectorsFile, kTestingVectorsFile});

  CorpusProcessor processor = context.processor();
  checkCategoriesInTable(processor, context.categories, kTrainingCorpusTable);
  VsmModel trainingModel;
  VsmModel testingModel;
  processor.loadVsm(trainingModel, trainingPath);
  processor.loadVsm(testingModel, testingPath);
  if (trainingModel.empty()) {
    throw DataFileError(trainingPath + ": holds no training vectors (run build-vectors first)");
  }
  if (static_cast<size_t>(options.k) > trainingModel.size()) {
    throw UsageError("--k: K must lie between 1 and the number of training vectors in " +
                     trainingPath + " (" + std::to_string(trainingModel.size()) + "), got " +
                     std::to_string(options.k));
  }

  if (options.explain) {
    auto found = testingModel.find(*options.explain);
    if (found == testingModel.end()) {
      throw UsageError("--explain: testing article " + std::to_string(*options.explain) +
                       " is not in " + testingPath);
    }
    KnnExplanation explanation =
        explainKnnClassification(processor, options.k, kTrainingCorpusTable, found->first,
                                 found->second, context.categories, trainingModel);
    printExplanation(context.console(), found->first, options.k, explanation,
                     context.environment().similarityVote);
    return 0;
  }

  ClassificationResults results;
  const std::optional<WeightVector> keywordless =
      keywordlessVectorOf(context, processor, checkTrainingModel(trainingModel));
  processor.knnClassifyTestSet(kTrainingCorpusTable, trainingModel, testingModel,
                               context.categories, options.k, results,
                               keywordless ? &*keywordless : nullptr);
  const std::string path = context.dataPath(kPredictionsFile);
  savePredictions(results, path);
  context.recordFacts(ProvenanceStage::kClassifier,
                      {{"classifier", "knn"}, {"k", std::to_string(options.k)}, {"vote", options.vote}},
                      {kPredictionsFile});
  context.console().line("predictions: " + std::to_string(results.size()) + " articles -> " +
                         userTextToGbk(path));
  return 0;
}

}  // namespace

void addClassifyCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<ClassifyOptions>(
      app, "classify",
      "Classify every testing vector of testingVSM.dat by its K most similar training vectors of\n"
      "trainingVSM.dat (cosine similarity, one vote per neighbour, categories of TrainingCorpus,\n"
      "ties going to the category listed first in --categories). Writes predictions.dat: one\n"
      "line \"<id> <category>\" per testing article. With --explain ID, prints that article's\n"
      "neighbours and votes instead and writes nothing.",
      FolderUse::kWriteInputs, [](RunContext& context, const ClassifyOptions& options) {
        context.environment().similarityVote = options.vote == "similarity";
        return runClassify(context, options);
      });
  addNeighbourCountOption(command, options.k);
  command
      .add_option("--explain", options.explain,
                  "Testing article id whose neighbours and votes to print")
      ->check(wholeNumber(INT32_MIN, INT32_MAX));
  addVoteOption(command, options.vote);
  addClassifierOption(command, options.classifier);
  addCostOption(command, options.cost);
}

}  // namespace newsclass
