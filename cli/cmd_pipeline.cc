// pipeline: every stage from the corpus database to the evaluation report in one run, each
// stage's file written as it goes and one summary line per stage.
#include <climits>
#include <cstdio>
#include <optional>
#include <string>

#include "base/atomic_file.h"
#include "base/cluster.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/stage_clock.h"
#include "base/staged_folder.h"
#include "cli/cmd_evaluate.h"
#include "cli/cmd_options.h"
#include "cli/cmd_pipeline.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "cli/pipeline_ranks.h"
#include "corpusdb/queries.h"
#include "evaluation/evaluation_report.h"
#include "evaluation/predictions_file.h"
#include "features/feature_selection.h"
#include "features/measure_selection.h"
#include "knn/category_check.h"
#include "linear/linear_run.h"
#include "models/linear_classifier.h"
#include "models/model_factory.h"
#include "vsm/testing_vsm.h"
#include "vsm/vector_file.h"
#include "vsm/written_weights.h"

namespace newsclass {
namespace {

// The classifier the options ask for (its name and choices; the pipeline supplies the files).
ModelDescription requestedClassifier(const RunContext& context, const PipelineOptions& options) {
  ModelDescription description = describeClassifier(context, options);
  description.terms = termKindsByName(options.terms);
  return description;
}

// "<stage>: <what>, 1.23 s -> <file>", on the console the stages write to.
void summary(RunContext& context, const std::string& stage, const std::string& what,
             const StageClock& clock, const std::string& path) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f s", clock.elapsedSeconds());
  Console& console = *context.environment().console;
  console.line(stage + ": " + what + ", " + seconds + " -> " +
               userTextToGbk(context.shownPath(path)));
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

// While it lives, rank 0 of a distributed run works with the threads of every rank on its
// machine: the others wait for it (asleep), so their cores are free. The files do not depend on
// the number of threads.
class ThreadsOfWaitingRanks {
 public:
  explicit ThreadsOfWaitingRanks(Environment& environment)
      : environment_(environment), saved_(environment.threads) {
    environment_.threads = saved_ * cluster::ranksOnThisMachine();
  }
  ~ThreadsOfWaitingRanks() { environment_.threads = saved_; }
  ThreadsOfWaitingRanks(const ThreadsOfWaitingRanks&) = delete;
  ThreadsOfWaitingRanks& operator=(const ThreadsOfWaitingRanks&) = delete;

 private:
  Environment& environment_;
  int saved_;
};

// Everything the options and ranges decide is checked before the first stage runs, so that a
// bad request does not cost a dictionary build. (An empty --categories never gets here: the
// command line refuses it.)
void checkRequest(const RunContext& context, const PipelineOptions& options) {
  int64_t trainingIds = context.trainingRange().size();
  if (options.k < 1 || options.k > trainingIds) {
    throw UsageError("--k: K must lie between 1 and the number of training vectors (" +
                     std::to_string(trainingIds) + ", the ids of --train-range), got " +
                     std::to_string(options.k));
  }
  classifierNamed(options.classifier).checkTestSetRequest(requestedClassifier(context, options));
}

// A per-category measure gives each category a share of --count in proportion to its training
// articles (features/feature_selection.h). When every share is 0 the selection takes no word;
// that is refused here, before the dictionary and the table are rebuilt for nothing.
void checkFeatureShares(RunContext& context, CorpusProcessor& processor,
                        const PipelineOptions& options) {
  if (options.measure == "df" || options.count == 0) return;
  const int32_t rangeSize = processor.rangeSize();
  for (const std::string& category : context.categories) {
    const double articles = processor.countCategoryArticles(category, kTrainingCorpusTable);
    if (articles >= 1 && articles <= INT32_MAX &&
        categoryQuota(static_cast<int32_t>(articles), options.count, rangeSize) > 0) {
      return;
    }
  }
  throw UsageError("--count: every category's share of " + std::to_string(options.count) +
                   " over " + std::to_string(rangeSize) +
                   " training articles is 0 (raise --count; 0 takes every word)");
}

// The stages of one pipeline run, in order. Each writes its file, records its facts in
// model.json and prints its summary line; a stage that fails leaves the files of the stages
// before it in place.
class PipelineStages {
 public:
  PipelineStages(RunContext& context, const PipelineOptions& options)
      : context_(context), options_(options), processor_(context.processor()) {}

  // Checks what the database decides about the request, then runs every stage; returns the
  // predictions of the testing articles.
  ClassificationResults run() {
    checkCategoriesInTable(processor_.environment(), context_.categories, kTrainingCorpusTable);
    const bool linear = !classifierNamed(options_.classifier).answersByNeighbours();
    std::vector<int> linearClasses;
    if (linear) linearClasses = linearTrainingClasses(processor_.environment(), processor_.range(),
                                                        context_.categories);
    checkFeatureShares(context_, processor_, options_);
    buildDictionary();
    buildContingencyTable();
    // Across ranks, rank 0 alone picks the keywords (it holds the whole table); the ranks
    // share the linear machines' training, and rank 0 applies them.
    if (cluster::rank() == 0) {
      ThreadsOfWaitingRanks threads(processor_.environment());
      selectFeatures();
    }
    if (linear) return classifyLinear(linearClasses);
    if (cluster::distributed()) return classifyKnnAcrossRanks();
    VsmModel trainingModel, testingModel;
    buildVectors(trainingModel, testingModel);
    return classifyKnn(trainingModel, testingModel);
  }

 private:
  void buildDictionary() {
    const std::string path = context_.dataPath(kDictionaryFile);
    StageClock clock;
    if (cluster::distributed()) {
      buildDictionaryAcrossRanks(processor_.environment(), processor_.range(),
                                 tokenizerByName(options_.tokenizer), kTrainingCorpusTable,
                                 dictionary_);
      if (cluster::rank() != 0) return;
    } else {
      processor_.buildDictionary(dictionary_, tokenizerByName(options_.tokenizer),
                                 kTrainingCorpusTable);
    }
    processor_.saveDictionary(dictionary_, path);
    context_.recordFacts(ProvenanceStage::kDictionary,
                         context_.dictionaryFacts(kTrainingCorpusTable, options_.tokenizer),
                         {kDictionaryFile});
    summary(context_, "dictionary", std::to_string(dictionary_.size()) + " words", clock, path);
  }

  void buildContingencyTable() {
    const std::string path = context_.dataPath(kContingencyFile);
    StageClock clock;
    if (cluster::distributed()) {
      // Every rank counts its share's postings; rank 0 adds them up.
      countContingencyAcrossRanks(processor_.environment(), processor_.range(), dictionary_,
                                  context_.categories, kTrainingCorpusTable, table_);
      if (cluster::rank() != 0) return;
    } else {
      processor_.buildContingencyTable(dictionary_, context_.categories, table_,
                                       kTrainingCorpusTable);
    }
    processor_.saveContingencyTable(table_, path);
    context_.recordFacts(ProvenanceStage::kContingency,
                         {{"categories", context_.categoriesText()}}, {kContingencyFile});
    summary(context_, "contingency table", std::to_string(table_.size()) + " cells", clock, path);
  }

  void selectFeatures() {
    const std::string path = context_.dataPath(kKeywordsFile);
    StageClock clock;
    selectKeywordsByMeasure(processor_.environment(), processor_.range(), options_.measure,
                            context_.categories, dictionary_, table_, options_.count, path);
    context_.recordFacts(ProvenanceStage::kFeatures,
                         {{"measure", options_.measure}, {"count", std::to_string(options_.count)}},
                         {kKeywordsFile});
    size_t keywords = processor_.readKeywords(path).size();
    summary(context_, "feature words",
            std::to_string(keywords) + " words (" + options_.measure + ")", clock, path);
  }

  // The linear classifier learns from dict.dat and keywords.dat directly; no vector file.
  // Across ranks every rank trains its share of the machines; rank 0 alone does the rest.
  ClassificationResults classifyLinear(const std::vector<int>& classes) {
    const ModelDescription description = requestedClassifier(context_, options_);
    if (cluster::rank() != 0) {
      trainLinearShareOnRank(description, processor_.environment().threads);
      return ClassificationResults();
    }
    const std::vector<std::string> keywords =
        processor_.readKeywords(context_.dataPath(kKeywordsFile));
    const std::string modelPath = context_.dataPath(kLinearModelFile);
    const std::string predictionsPath = context_.dataPath(kPredictionsFile);
    ClassificationResults results;
    StageClock clock;
    const LinearTrainingSet training =
        linearTrainingSet(processor_.range(), dictionary_, keywords, classes);
    const LinearMachines machines =
        trainLinearMachines(description, training, keywords, processor_.environment().threads);
    // The other ranks are done: rank 0 works on with their threads.
    ThreadsOfWaitingRanks threads(processor_.environment());
    const LinearModel& model = machines.model;
    model.save(modelPath);
    summary(context_, options_.classifier + " model",
            std::to_string(keywords.size()) + " features, C = " + shortestDecimal(options_.cost),
            clock, modelPath);
    StageClock classifying;
    const auto vectors =
        sparseTestingVectors(processor_.environment(), processor_.range(), dictionary_, keywords,
                             processor_.environment().terms, context_.testFirst,
                             context_.testLast, kTestingCorpusTable);
    linearClassify(processor_.environment(), model, machines.blendOrNull(), vectors,
                   context_.categories, results);
    savePredictions(results, predictionsPath);
    const auto facts = linearFacts(description);
    Provenance recorded(facts.begin(), facts.end());
    recorded.insert(options_.classifierNotes.begin(), options_.classifierNotes.end());
    context_.recordFacts(ProvenanceStage::kClassifier, recorded,
                         {kLinearModelFile, kPredictionsFile});
    summary(context_, "classification",
            std::to_string(results.size()) + " articles, " + options_.classifier,
            classifying, predictionsPath);
    return results;
  }

  // The two vector files are replaced together: each model goes to its temporary file as soon
  // as it is built, and both are renamed only when the testing half (database, table, texts)
  // has succeeded too, so a failure leaves the old pair in place.
  void buildVectors(VsmModel& trainingModel, VsmModel& testingModel) {
    const std::string keywordPath = context_.dataPath(kKeywordsFile);
    const std::string trainingPath = context_.dataPath(kTrainingVectorsFile);
    const std::string testingPath = context_.dataPath(kTestingVectorsFile);
    AtomicFileGroup vectorFiles;
    {
      StageClock clock;
      processor_.buildTrainingVsm(dictionary_, trainingModel, keywordPath);
      saveAndRoundVsm(processor_.environment(), trainingModel, trainingPath, vectorFiles,
                      processor_.environment().vectorFormat);
      summary(context_, "training vectors", std::to_string(trainingModel.size()) + " vectors",
              clock, trainingPath);
    }
    StageClock clock;
    processor_.buildTestingVsm(context_.testFirst, context_.testLast, kTestingCorpusTable,
                               dictionary_, testingModel, keywordPath);
    saveAndRoundVsm(processor_.environment(), testingModel, testingPath, vectorFiles,
                    processor_.environment().vectorFormat);
    vectorFiles.commit();
    context_.recordFacts(ProvenanceStage::kVectors, context_.vectorFacts(),
                         {kTrainingVectorsFile, kTestingVectorsFile});
    summary(context_, "testing vectors", std::to_string(testingModel.size()) + " vectors", clock,
            testingPath);
  }

  // The models hold their weights as the files do (six significant digits; saveAndRoundVsm),
  // not at full precision: an answer that sits on a rounding tie is then the one classify,
  // classify --explain and predict give over the same files.
  ClassificationResults classifyKnn(VsmModel& trainingModel, VsmModel& testingModel) {
    const WeightVector keywordless = vsm::keywordlessTestingVector(vsm::WeightTable(
        vsm::statisticsOf(vsm::findPostingLists(
            dictionary_, processor_.readKeywords(context_.dataPath(kKeywordsFile)))),
        context_.trainingRange().size()));
    ClassificationResults results;
    StageClock clock;
    processor_.knnClassifyTestSet(kTrainingCorpusTable, trainingModel, testingModel,
                                  context_.categories, options_.k, results, &keywordless);
    recordKnnPredictions(results, clock);
    return results;
  }

  // The vector files and KNN with the training vectors split across the ranks (rank 0 writes the
  // files and returns the predictions; the other ranks return none).
  ClassificationResults classifyKnnAcrossRanks() {
    AtomicFileGroup vectorFiles;
    const VectorStagePaths paths{context_.dataPath(kKeywordsFile),
                                 context_.dataPath(kTrainingVectorsFile),
                                 context_.dataPath(kTestingVectorsFile)};
    const RankVectors vectors = buildVectorsAcrossRanks(
        processor_.environment(), processor_.range(), {context_.testFirst, context_.testLast},
        dictionary_, paths, vectorFiles,
        [this](const std::string& stage, const std::string& what, const StageClock& clock,
               const std::string& path) { summary(context_, stage, what, clock, path); });
    // Only the postings of this rank's share were needed, and they are in the vectors now.
    Dictionary().swap(dictionary_);
    if (cluster::rank() == 0) {
      vectorFiles.commit();
      context_.recordFacts(ProvenanceStage::kVectors, context_.vectorFacts(),
                           {kTrainingVectorsFile, kTestingVectorsFile});
    }
    StageClock clock;
    ClassificationResults results =
        newsclass::classifyKnnAcrossRanks(processor_.environment(), processor_.range(),
                                          context_.categories, options_.k, vectors);
    if (cluster::rank() == 0) recordKnnPredictions(results, clock);
    return results;
  }

  void recordKnnPredictions(const ClassificationResults& results, const StageClock& clock) {
    const std::string predictionsPath = context_.dataPath(kPredictionsFile);
    savePredictions(results, predictionsPath);
    Provenance recorded = {
        {"classifier", "knn"}, {"k", std::to_string(options_.k)}, {"vote", options_.vote}};
    recorded.insert(options_.classifierNotes.begin(), options_.classifierNotes.end());
    context_.recordFacts(ProvenanceStage::kClassifier, recorded, {kPredictionsFile});
    summary(context_, "classification",
            std::to_string(results.size()) + " articles, K = " + std::to_string(options_.k),
            clock, predictionsPath);
  }

  RunContext& context_;
  const PipelineOptions& options_;
  CorpusProcessor processor_;
  Dictionary dictionary_;
  ContingencyTable table_;
};

int runPipeline(RunContext& context, const PipelineOptions& options) {
  const bool text = options.format == "text";
  const ClassificationResults results = runPipelineStages(context, options, !text);
  if (text) context.console().line("");
  printEvaluationReport(context, results, options.format);
  return 0;
}

}  // namespace

ClassificationResults runPipelineStages(RunContext& context, const PipelineOptions& options,
                                        bool stageLinesToErrors) {
  context.environment().weighting = weightingByName(options.weighting);
  context.environment().vectorFormat = *vectorFormatNamed(options.vectorFormat);
  context.environment().terms = termKindsByName(options.terms);
  context.environment().similarityVote = options.vote == "similarity";
  checkRequest(context, options);
  // The other ranks of a distributed run keep their lines to themselves (discarded).
  std::optional<StageLinesToStandardError> redirect;
  if (stageLinesToErrors && cluster::rank() == 0) redirect.emplace(context);
  if (!cluster::distributed()) return PipelineStages(context, options).run();
  // Across ranks, rank 0 writes every file into a staged copy of the data folder, which
  // replaces the folder's files only once every rank has done its part: a rank that fails at
  // any stage leaves the folder as it was.
  std::optional<StagedFolder> staged;
  if (cluster::rank() == 0) {
    staged.emplace(context.options().dataDir, std::vector<std::string>{kModelFactsFile});
    context.redirectDataFiles(staged->folder());
  }
  ClassificationResults results = PipelineStages(context, options).run();
  if (staged) {
    context.redirectDataFiles("");
    staged->commit({kModelFactsFile});
  }
  return results;
}

void addPipelineCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<PipelineOptions>(
      app, "pipeline",
      R"(Run every stage from the corpus database to the evaluation report: build and save
dict.dat (training articles of --train-range), contingency.dat, keywords.dat (--measure,
--count); then, with --classifier knn, trainingVSM.dat and testingVSM.dat (TestingCorpus
articles of --test-range, always segmented) and classify with K neighbours, or, with
--classifier linear, train linear.model from dict.dat and keywords.dat (no vector file)
and classify the TestingCorpus articles of --test-range with it; save predictions.dat
and print the report.
Each stage prints its own lines and then one summary line. The stages print one line per
article as they go; use --quiet (before the command) to see only the summaries. With
--format csv or json the stage lines go to standard error and standard output holds only
the report.)",
      FolderUse::kWrite, runPipeline);
  addMeasureOption(command, options.measure);
  addFeatureCountOption(command, options.count);
  addNeighbourCountOption(command, options.k);
  addTokenizerOption(command, options.tokenizer);
  addTermsOption(command, options.terms);
  addReportFormatOption(command, options.format);
  addWeightingOption(command, options.weighting);
  addVectorFormatOption(command, options.vectorFormat);
  addVoteOption(command, options.vote);
  addClassifierOption(command, options.classifier);
  addCostOption(command, options.cost);
  addClassWeightOption(command, options.classWeight);
  addKnnWeightOption(command, options.knnWeight);
}

}  // namespace newsclass
