// pipeline: every stage from the corpus database to the evaluation report in one run, each
// stage's file written as it goes and one summary line per stage.
#include <cstdio>
#include <memory>
#include <string>

#include "base/atomic_file.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/stage_clock.h"
#include "cli/cmd_evaluate.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "evaluation/evaluation_report.h"
#include "evaluation/predictions_file.h"
#include "features/measure_selection.h"
#include "knn/category_check.h"
#include "linear/linear_run.h"
#include "vsm/testing_vsm.h"
#include "vsm/written_weights.h"

namespace newsclass {
namespace {

struct PipelineOptions {
  std::string measure = "chi";
  int32_t count = 1000;
  int k = 10;
  std::string tokenizer = "segment";
  std::string format = "text";
  std::string weighting = "spec";
  std::string vote = "count";
  std::string classifier = "knn";
  double cost = 1.0;
};

// "<stage>: <what>, 1.23 s -> <file>", on the console the stages write to.
void summary(RunContext& context, const std::string& stage, const std::string& what,
             const StageClock& clock, const std::string& path) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f s", clock.elapsedSeconds());
  Console& console = *context.environment().console;
  console.line(stage + ": " + what + ", " + seconds + " -> " + userTextToGbk(path));
  console.flush();
}

// While it lives, the stages (and their summaries) write to standard error instead of standard
// output, so that a csv or json report is all that standard output holds.
class StageLinesToStandardError {
 public:
  explicit StageLinesToStandardError(RunContext& context)
      : environment_(context.environment()),
        saved_(environment_.console),
        console_(context.errors(), context.console().encoding(), context.console().quiet()) {
    environment_.console = &console_;
  }
  ~StageLinesToStandardError() {
    console_.flush();
    environment_.console = saved_;
  }
  StageLinesToStandardError(const StageLinesToStandardError&) = delete;
  StageLinesToStandardError& operator=(const StageLinesToStandardError&) = delete;

 private:
  Environment& environment_;
  Console* saved_;
  Console console_;
};

// Everything the options and ranges decide is checked before the first stage runs, so that a
// bad request does not cost a dictionary build.
void checkRequest(const RunContext& context, const PipelineOptions& options) {
  int64_t trainingIds = static_cast<int64_t>(context.trainLast) - context.trainFirst + 1;
  if (options.k < 1 || options.k > trainingIds) {
    throw UsageError("--k: K must lie between 1 and the number of training vectors (" +
                     std::to_string(trainingIds) + ", the ids of --train-range), got " +
                     std::to_string(options.k));
  }
  if (context.categories.empty()) throw UsageError("--categories: the category list is empty");
}

// The linear classifier's stages: it learns from dict.dat and keywords.dat directly; no vector
// file. `linearClasses`: the training articles' classes, checked before the first stage.
ClassificationResults linearStages(RunContext& context, CorpusProcessor& processor,
                                   const PipelineOptions& options, const Dictionary& dictionary,
                                   const std::vector<int>& linearClasses) {
  const std::string keywordPath = context.dataPath("keywords.dat");
  const std::string predictionsPath = context.dataPath("predictions.dat");
  const std::vector<std::string> keywords = processor.readKeywords(keywordPath);
  const std::string modelPath = context.dataPath("linear.model");
  ClassificationResults results;
  StageClock clock;
  const ArticleRange range = processor.range();
  LinearModel model = trainLinearModel(range, dictionary, keywords, linearClasses, options.cost);
  model.save(modelPath);
  summary(context, "linear model",
          std::to_string(keywords.size()) + " features, C = " + shortestDecimal(options.cost),
          clock, modelPath);
  StageClock classifying;
  const auto vectors = sparseTestingVectors(context.environment(), range, dictionary, keywords,
                                            context.testFirst, context.testLast, "TestingCorpus");
  linearClassify(context.environment(), model, vectors, context.categories, results);
  savePredictions(results, predictionsPath);
  context.recordFacts(ProvenanceStage::kClassifier,
                      {{"classifier", "linear"}, {"c", shortestDecimal(options.cost)}},
                      {"linear.model", "predictions.dat"});
  summary(context, "classification", std::to_string(results.size()) + " articles, linear",
          classifying, predictionsPath);
  return results;
}

// The KNN's stages: both vector files, then the classification of the testing vectors.
ClassificationResults knnStages(RunContext& context, CorpusProcessor& processor,
                                const PipelineOptions& options, const Dictionary& dictionary) {
  const std::string keywordPath = context.dataPath("keywords.dat");
  const std::string trainingPath = context.dataPath("trainingVSM.dat");
  const std::string testingPath = context.dataPath("testingVSM.dat");
  const std::string predictionsPath = context.dataPath("predictions.dat");
  // The two vector files are replaced together: each model goes to its temporary file as soon
  // as it is built, and both are renamed only when the testing half (database, table, texts) has
  // succeeded too, so a failure leaves the old pair in place.
  AtomicFileGroup vectorFiles;
  VsmModel trainingModel;
  {
    StageClock clock;
    processor.buildTrainingVsm(dictionary, trainingModel, keywordPath);
    processor.saveVsm(trainingModel, trainingPath, vectorFiles);
    summary(context, "training vectors", std::to_string(trainingModel.size()) + " vectors",
            clock, trainingPath);
  }
  VsmModel testingModel;
  {
    StageClock clock;
    processor.buildTestingVsm(context.testFirst, context.testLast, "TestingCorpus", dictionary,
                              testingModel, keywordPath);
    processor.saveVsm(testingModel, testingPath, vectorFiles);
    vectorFiles.commit();
    context.recordFacts(ProvenanceStage::kVectors,
                        {{"weighting", options.weighting}, {"test_range", context.testRangeText()}},
                        {"trainingVSM.dat", "testingVSM.dat"});
    summary(context, "testing vectors", std::to_string(testingModel.size()) + " vectors", clock,
            testingPath);
  }
  // The vectors are classified as the files hold them (six significant digits), not at full
  // precision: an answer that sits on a rounding tie is then the one classify, classify
  // --explain and predict give over the same files.
  vsm::roundModelAsWritten(trainingModel, context.environment().threads);
  vsm::roundModelAsWritten(testingModel, context.environment().threads);
  const WeightVector keywordless = vsm::keywordlessTestingVector(vsm::WeightTable(
      vsm::statisticsOf(vsm::findPostingLists(dictionary, processor.readKeywords(keywordPath))),
      static_cast<int64_t>(context.trainLast) - context.trainFirst + 1));
  ClassificationResults results;
  {
    StageClock clock;
    processor.knnClassifyTestSet("TrainingCorpus", trainingModel, testingModel,
                                 context.categories, options.k, results, &keywordless);
    savePredictions(results, predictionsPath);
    context.recordFacts(ProvenanceStage::kClassifier,
                        {{"classifier", "knn"}, {"k", std::to_string(options.k)},
                         {"vote", options.vote}},
                        {"predictions.dat"});
    summary(context, "classification",
            std::to_string(results.size()) + " articles, K = " + std::to_string(options.k), clock,
            predictionsPath);
  }
  return results;
}

ClassificationResults runStages(RunContext& context, const PipelineOptions& options) {
  CorpusProcessor processor = context.processor();
  checkCategoriesInTable(processor.environment(), context.categories, "TrainingCorpus");
  std::vector<int> linearClasses;
  if (options.classifier == "linear") {
    linearClasses =
        linearTrainingClasses(processor.environment(), processor.range(), context.categories);
  }
  const std::string dictionaryPath = context.dataPath("dict.dat");
  const std::string contingencyPath = context.dataPath("contingency.dat");
  const std::string keywordPath = context.dataPath("keywords.dat");

  Dictionary dictionary;
  {
    StageClock clock;
    processor.buildDictionary(dictionary, tokenizerByName(options.tokenizer), "TrainingCorpus");
    processor.saveDictionary(dictionary, dictionaryPath);
    Provenance facts = context.segmenterFileFacts();
    facts.insert({{"table", "TrainingCorpus"},
                  {"train_range", context.trainRangeText()},
                  {"tokenizer", options.tokenizer}});
    context.recordFacts(ProvenanceStage::kDictionary, facts, {"dict.dat"});
    summary(context, "dictionary", std::to_string(dictionary.size()) + " words", clock,
            dictionaryPath);
  }
  ContingencyTable table;
  {
    StageClock clock;
    processor.buildContingencyTable(dictionary, context.categories, table, "TrainingCorpus");
    processor.saveContingencyTable(table, contingencyPath);
    context.recordFacts(ProvenanceStage::kContingency, {{"categories", context.categoriesText()}},
                        {"contingency.dat"});
    summary(context, "contingency table", std::to_string(table.size()) + " cells", clock,
            contingencyPath);
  }
  {
    StageClock clock;
    selectKeywordsByMeasure(processor.environment(), processor.range(), options.measure, context.categories, dictionary, table,
                            options.count, keywordPath);
    context.recordFacts(ProvenanceStage::kFeatures,
                        {{"measure", options.measure}, {"count", std::to_string(options.count)}},
                        {"keywords.dat"});
    size_t keywords = processor.readKeywords(keywordPath).size();
    summary(context, "feature words",
            std::to_string(keywords) + " words (" + options.measure + ")", clock, keywordPath);
  }
  if (options.classifier == "linear") {
    return linearStages(context, processor, options, dictionary, linearClasses);
  }
  return knnStages(context, processor, options, dictionary);
}

int runPipeline(RunContext& context, const PipelineOptions& options) {
  checkRequest(context, options);
  ClassificationResults results;
  if (options.format == "text") {
    results = runStages(context, options);
    context.console().line("");
  } else {
    StageLinesToStandardError redirect(context);
    results = runStages(context, options);
  }
  printEvaluationReport(context, results, options.format);
  return 0;
}

}  // namespace

void addPipelineCommand(CLI::App& app, CommandSet& commands) {
  auto options = std::make_shared<PipelineOptions>();
  CLI::App* command = app.add_subcommand(
      "pipeline",
      "Run every stage from the corpus database to the evaluation report: build and save\n"
      "dict.dat (training articles of --train-range), contingency.dat, keywords.dat (--measure,\n"
      "--count), trainingVSM.dat, testingVSM.dat (TestingCorpus articles of --test-range,\n"
      "always segmented), classify with K neighbours into predictions.dat and print the report.\n"
      "Each stage prints its own lines and then one summary line. The stages print one line per\n"
      "article as they go; use --quiet (before the command) to see only the summaries. With\n"
      "--format csv or json the stage lines go to standard error and standard output holds only\n"
      "the report.");
  addMeasureOption(*command, options->measure);
  addFeatureCountOption(*command, options->count);
  addNeighbourCountOption(*command, options->k);
  addTokenizerOption(*command, options->tokenizer);
  addReportFormatOption(*command, options->format);
  addWeightingOption(*command, options->weighting);
  addVoteOption(*command, options->vote);
  addClassifierOption(*command, options->classifier);
  addCostOption(*command, options->cost);
  commands.add(command, [options](RunContext& context) {
    context.environment().weighting = weightingByName(options->weighting);
    context.environment().similarityVote = options->vote == "similarity";
    DataFolderLock lock = context.lockDataFolder(DataFolderAccess::kWrite);
    return runPipeline(context, *options);
  });
}

}  // namespace newsclass
