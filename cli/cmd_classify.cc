// classify: the testing articles labelled by the classifier --classifier names (the KNN over
// the vector files, or linear SVMs trained on the spot), with the predictions saved to
// predictions.dat, or the explanation of one article's label.
#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "base/cluster.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "corpusdb/queries.h"
#include "evaluation/predictions_file.h"
#include "knn/category_check.h"
#include "models/model_factory.h"

namespace newsclass {
namespace {

struct ClassifyOptions : ClassifierChoices {
  std::optional<int32_t> explain;
};

// The classifier the options ask for, over the context's training range and categories.
ModelDescription requestedModel(const RunContext& context, const ClassifyOptions& options) {
  ModelDescription description = describeClassifier(context, options);
  description.files = dataFolderModelFiles(context);
  return description;
}

int runClassify(RunContext& context, const ClassifyOptions& options) {
  ModelDescription description = requestedModel(context, options);
  const Classifier& classifier = classifierNamed(description.classifier);
  classifier.checkTestSetRequest(description);
  requireCurrentFiles(context, dataFileNames(classifier.testSetFiles(description.files)));
  // The testing articles are segmented as the dictionary's were.
  if (classifier.segmentsTestingText() && hasModelFacts(context)) {
    cutTextAsRecorded(context, readModelFacts(context));
    description.terms = context.environment().terms;
  }
  checkCategoriesInTable(context.environment(), context.categories, kTrainingCorpusTable);
  if (cluster::distributed() && options.explain) {
    throw UsageError("--explain: one article is explained by one process (run it without "
                     "mpirun)");
  }
  if (options.explain) {
    classifier.explain(description, context.environment(), *options.explain);
    return 0;
  }
  // KNN shares the training vectors among the ranks, the linear models their machines.
  const ClassificationResults results = classifier.classifyTestSet(
      description, context.environment(), context.testFirst, context.testLast);
  // Rank 0 alone writes; it has the predictions once every rank has done its part.
  if (cluster::rank() != 0) return 0;
  const std::string path = context.dataPath(kPredictionsFile);
  savePredictions(results, path);
  std::vector<std::string> written = dataFileNames(classifier.writtenFiles(description.files));
  written.push_back("predictions.dat");
  const auto facts = classifier.facts(description);
  context.recordFacts(ProvenanceStage::kClassifier, Provenance(facts.begin(), facts.end()),
                      written);
  context.console().line("predictions: " + std::to_string(results.size()) + " articles -> " +
                         userTextToGbk(path));
  return 0;
}

}  // namespace

void addClassifyCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<ClassifyOptions>(
      app, "classify",
      R"(Classify every testing vector of testingVSM.dat by its K most similar training vectors of
trainingVSM.dat (cosine similarity, one vote per neighbour, categories of TrainingCorpus,
ties going to the category listed first in --categories). Writes predictions.dat: one
line "<id> <category>" per testing article. With --classifier linear, trains linear.model
from dict.dat and keywords.dat instead and labels the TestingCorpus articles of
--test-range with it (no vector file). With --explain ID, prints that article's
neighbours and votes (linear: decision values) instead and writes nothing.)",
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
  addClassWeightOption(command, options.classWeight);
  addKnnWeightOption(command, options.knnWeight);
}

}  // namespace newsclass
