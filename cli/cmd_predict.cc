// predict: labels new articles, one per input line, with the model of the data folder. The
// labels go to standard output; the segmenter's start-up lines and the loading lines go to
// standard error, so that the output holds nothing but the answers.
#include <unistd.h>

#include <algorithm>
#include <istream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/cluster.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/progress.h"
#include "base/text_utils.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "cli/predict_input.h"
#include "cli/predict_lines.h"
#include "cli/provenance.h"
#include "corpusdb/queries.h"
#include "knn/category_check.h"
#include "models/model_factory.h"
#include "segmentation/segmenter_binding.h"

namespace newsclass {
namespace {

struct PredictOptions {
  std::vector<std::string> files;
  bool tsv = false;
  std::string format = "text";
  bool neighbours = false;
  int top = 0;              // 0: the answer as ever, else the best N categories with scores
  bool explain = false;
  int k = 0;                // 0: as model.json records, else 10
  std::string vote;         // empty: as model.json records, else count
  std::string weighting;    // empty: as model.json records, else spec
  std::string classifier;   // empty: as model.json records, else knn
};

// What the data folder's model.json records for `key`, or `fallback` when it records nothing.
std::string recorded(const Provenance& facts, const std::string& key, const std::string& fallback) {
  auto found = facts.find(key);
  return found == facts.end() ? fallback : found->second;
}

// Refuses the choices the folder's classifier, named `name`, does not take: K, the vote and
// the neighbours belong to a classifier that answers by neighbours, and one that weighs text
// its own way takes no other weighting.
void refuseChoicesItLacks(const Classifier& classifier, const std::string& name,
                          const PredictOptions& options) {
  if (options.explain && classifier.answersByNeighbours()) {
    throw UsageError("--explain: the " + name +
                     " classifier answers by its neighbours (list them with --neighbours)");
  }
  if (!classifier.answersByNeighbours() &&
      (options.k != 0 || !options.vote.empty() || options.neighbours)) {
    throw UsageError(std::string(options.k != 0 ? "--k" : !options.vote.empty() ? "--vote" : "--neighbours") +
                     ": the " + name + " classifier has no neighbours");
  }
  const std::string own = classifier.ownWeighting();
  if (!own.empty() && !options.weighting.empty() && options.weighting != own) {
    throw UsageError("--weighting: the " + name + " classifier weighs text with " + own);
  }
}

// The model the data folder holds, as its model.json describes it, with what the command line
// may still choose (K, the vote); an option that contradicts the facts is refused. Checks the
// files the model reads against model.json and points the segmenter at the files the folder
// was built with.
ModelDescription recordedModel(RunContext& context, const PredictOptions& options,
                               ModelFiles files) {
  // The facts of the folder decide what the command line leaves open; a contradiction is an
  // error. The training range gives N, so a --train-range other than the default must match.
  const std::string factsPath = context.dataPath(kModelFactsFile);
  if (!hasModelFacts(context)) {
    throw DataFileError(factsPath + ": no such file: the data folder holds no model (run "
                        "pipeline, or the stages, first)");
  }
  const Provenance facts = readModelFacts(context);
  const GlobalOptions defaults;
  if (context.options().trainRange != defaults.trainRange) {
    refuseMismatch("--train-range", context.trainRangeText(), "train_range", facts, factsPath);
  }
  if (context.options().categories != defaults.categories) {
    refuseMismatch("--categories", context.categoriesText(), "categories", facts, factsPath);
  }
  refuseMismatch("--weighting", options.weighting, "weighting", facts, factsPath);
  // The folder holds the model its last classify built, and only that one.
  refuseMismatch("--classifier", options.classifier, "classifier", facts, factsPath);
  ModelDescription description;
  description.classifier =
      !options.classifier.empty() ? options.classifier : recorded(facts, "classifier", "knn");
  const Classifier& classifier = classifierNamed(description.classifier);
  refuseChoicesItLacks(classifier, description.classifier, options);
  description.range = {context.trainFirst, context.trainLast};
  // Checked as model.json was read.
  parseIdRange(recorded(facts, "train_range", context.trainRangeText()), description.range.firstId,
               description.range.lastId);
  description.categories = context.categories;
  if (facts.count("categories") != 0 && context.options().categories == defaults.categories) {
    description.categories = recordedCategories(facts);
  }
  requireCurrentFiles(context, dataFileNames(classifier.modelFiles(files)));
  cutTextAsRecorded(context, facts);
  description.terms = context.environment().terms;
  const std::string own = classifier.ownWeighting();
  description.weighting =
      weightingByName(!own.empty() ? own : recorded(facts, "weighting", "spec"));
  // A recorded K was checked as model.json was read: a whole number from 1 to 2147483647.
  description.k = options.k != 0 ? options.k : parseInt32(recorded(facts, "k", "10")).value_or(10);
  // The linear SVMs' neighbour blend, checked as model.json was read: a positive decimal.
  description.knnWeight = parseDouble(recorded(facts, "knn_weight", "0")).value_or(0.0);
  description.similarityVote =
      (!options.vote.empty() ? options.vote : recorded(facts, "vote", "count")) == "similarity";
  description.files = std::move(files);
  return description;
}

// Standard input is answered line by line as it arrives, each answer flushed at once, so that
// another program can keep the process open as a pipe. Each line's encoding is decided on its
// own, and a bad --tsv id (`ids`: the register, or null without --tsv) is refused at its line,
// after the answers before it.
void answerStandardInput(RunContext& context, LineAnswerer& lines, IdRegister* ids) {
  std::string line;
  std::vector<PendingLine> one(1);
  lines.beginInput(0, "standard input", "", ids);
  for (uint64_t number = 1; std::getline(context.input(), line); ++number) {
    lines.parse(userTextToGbk(line), number, "standard input", one[0]);
    lines.answer(one);
  }
}

// The FILEs are answered in batches, with a progress line over each file's lines; with several
// FILEs, each answer names its file (tsv: a first column; jsonl: "file").
void answerFiles(RunContext& context, LineAnswerer& lines, const std::vector<std::string>& files) {
  const bool nameFiles = files.size() > 1;
  constexpr size_t kBatchLines = 4096;
  for (size_t input = 0; input < files.size(); ++input) {
    const std::string& file = files[input];
    lines.beginInput(input, file, nameFiles ? userTextToGbk(file) : "", nullptr);
    const std::string text = readInputText(file);
    std::vector<PendingLine> batch;
    uint64_t number = 0;
    // A progress line over the file's lines, on a terminal's standard error only.
    int64_t lineCount = static_cast<int64_t>(std::count(text.begin(), text.end(), '\n'));
    if (!text.empty() && text.back() != '\n') ++lineCount;
    // The answers go to standard output; on the same terminal they would fight the line.
    ProgressDisplay* display = isatty(STDOUT_FILENO) == 1 ? nullptr : context.environment().progress;
    if (display != nullptr) context.console().flush();
    ProgressMeter progress(display, "predict " + file, lineCount, "lines");
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      lines.parse(text.substr(pos, end - pos), ++number, file, batch.emplace_back());
      pos = end + 1;
      if (batch.size() == kBatchLines) {
        lines.answer(batch);
        progress.advance(static_cast<int64_t>(batch.size()));
        batch.clear();
      }
    }
    if (!batch.empty()) {
      lines.answer(batch);
      progress.advance(static_cast<int64_t>(batch.size()));
    }
    progress.finish();
  }
}

// `loading` is the data folder's shared lock, released once the model is loaded.
int runPredict(RunContext& context, const PredictOptions& options, DataFolderLock& loading) {
  if (cluster::distributed() && options.files.empty()) {
    throw UsageError("predict reads standard input as one process; under mpirun give it FILEs, "
                     "whose lines the " + std::to_string(cluster::size()) + " ranks share");
  }
  if (options.neighbours && options.format != "jsonl") {
    throw UsageError("--neighbours: the neighbours are shown only with --format jsonl");
  }
  if (options.explain && options.format != "jsonl") {
    throw UsageError("--explain: the terms are shown only with --format jsonl");
  }
  ModelFiles files = dataFolderModelFiles(context);
  for (const std::string& file : options.files) requireInputFile(file);
  context.requireDataFolder();
  // Every --tsv id of every FILE is checked before the model is loaded: a refused run answers
  // nothing. Standard input is checked line by line as it is answered.
  IdRegister ids;
  if (options.tsv) {
    for (size_t input = 0; input < options.files.size(); ++input) {
      checkTsvIds(readInputText(options.files[input]), input, options.files[input], ids);
    }
  }
  const ModelDescription description = recordedModel(context, options, std::move(files));

  // Loading and start-up lines go to standard error through a quiet console of their own; the
  // answers alone go to standard output. Across ranks, rank 0's lines speak for all.
  StageEnvironment environment = context.environment();
  Console sideConsole(cluster::rank() == 0 ? context.errors() : context.output(),
                      context.console().encoding(), true);
  environment.console = &sideConsole;
  checkCategoriesInTable(environment, description.categories, kTrainingCorpusTable);
  const std::unique_ptr<Model> model = loadModel(description, environment);
  SegmenterSession session(environment);
  sideConsole.flush();
  LineAnswerer lines(context, environment, *model, description.terms,
                     {options.format, options.tsv, options.neighbours,
                      static_cast<size_t>(options.top), options.explain});
  // Everything the answers need is loaded (on every rank): writers may replace the files now.
  cluster::barrier();
  loading.release();
  if (options.files.empty()) {
    answerStandardInput(context, lines, options.tsv ? &ids : nullptr);
  } else {
    answerFiles(context, lines, options.files);
  }
  return 0;
}

}  // namespace

void addPredictCommand(CLI::App& app, CommandSet& commands) {
  // The folder is held while the model loads only: a predict kept open on a pipe answers from
  // what it loaded and must not keep writers out of the folder (runPredict releases it).
  auto [command, options] = commands.add<PredictOptions>(
      app, "predict",
      R"(Label new articles, one per line, with the model of the data folder, as model.json
records it: each line is segmented and weighted as the testing vectors are, then
classified as classify does, by its K nearest vectors of trainingVSM.dat or by
linear.model. The training range, categories, weighting, classifier, K and vote come
from model.json; options that contradict it are refused. Reads the FILEs (a file valid
as UTF-8 is UTF-8; in any other each line is UTF-8 or GBK on its own), or standard input
line by line (decided per line), answering each line at once. An empty line, or one with
no keyword of the model, gets an empty label and score 0. With several FILEs each tsv
answer starts with its file's name and a tab, each jsonl answer with a "file" field.
--tsv ids must be non-empty and unique in the run: FILEs are checked before the first
answer, standard input at the line (after the answers before it); exit 2. Loading and
start-up lines go to standard error.)",
      FolderUse::kRead, runPredict);
  command.add_option("FILE", options.files, "Files of articles (default: standard input)");
  command.add_flag("--tsv", options.tsv,
                   "Read \"id<TAB>text\" lines and answer with the id instead of the line number "
                   "(ids non-empty and unique in the run)");
  addChoiceOption(command, "--format", options.format,
                  "text: the category alone; tsv: line number (or id), category and score "
                  "(KNN: the winner's share of the votes; linear: its decision value; "
                  "logistic: its probability); jsonl: the same with the top categories",
                  {"text", "tsv", "jsonl"});
  command.add_flag("--neighbours", options.neighbours,
                   "With --format jsonl, list the K neighbours' ids and similarities");
  command
      .add_option("--top", options.top,
                  "Answer with the N best categories and their scores (logistic: "
                  "probabilities; KNN: vote shares, those with votes; linear: decision values): "
                  "text \"cat score cat score ...\", tsv a category and score column pair each, "
                  "jsonl the first N of \"top\"")
      ->check(wholeNumber(1, INT32_MAX));
  command.add_flag("--explain", options.explain,
                   "With --format jsonl, list the ten terms that added most to the winning "
                   "category's decision value (linear, logistic) as \"terms\"");
  addNeighbourCountOption(command, options.k)
      ->description("Number of neighbours K (default: as model.json records, else 10)");
  addVoteOption(command, options.vote)->default_str("as model.json records, else count");
  addWeightingOption(command, options.weighting)
      ->default_str("as model.json records, else spec");
  addClassifierOption(command, options.classifier)
      ->default_str("as model.json records, else knn");
}

}  // namespace newsclass
