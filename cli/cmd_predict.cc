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
#include "cli/recorded_model.h"
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
  int top = 0;  // 0: the answer as ever, else the best N categories with scores
  ModelChoices choices;
};

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
  if (options.choices.neighbours && options.format != "jsonl") {
    throw UsageError("--neighbours: the neighbours are shown only with --format jsonl");
  }
  if (options.choices.explain && options.format != "jsonl") {
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
  const ModelDescription description = recordedModel(context, options.choices, std::move(files));

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
                     {options.format, options.tsv, options.choices.neighbours,
                      static_cast<size_t>(options.top), options.choices.explain});
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
  command.add_flag("--neighbours", options.choices.neighbours,
                   "With --format jsonl, list the K neighbours' ids and similarities");
  command
      .add_option("--top", options.top,
                  "Answer with the N best categories and their scores (logistic: "
                  "probabilities; KNN: vote shares, those with votes; linear: decision values): "
                  "text \"cat score cat score ...\", tsv a category and score column pair each, "
                  "jsonl the first N of \"top\"")
      ->check(wholeNumber(1, INT32_MAX));
  command.add_flag("--explain", options.choices.explain,
                   "With --format jsonl, list the ten terms that added most to the winning "
                   "category's decision value (linear, logistic) as \"terms\"");
  addNeighbourCountOption(command, options.choices.k)
      ->description("Number of neighbours K (default: as model.json records, else 10)");
  addVoteOption(command, options.choices.vote)->default_str("as model.json records, else count");
  addWeightingOption(command, options.choices.weighting)
      ->default_str("as model.json records, else spec");
  addClassifierOption(command, options.choices.classifier)
      ->default_str("as model.json records, else knn");
}

}  // namespace newsclass
