// evaluate: precision, recall and F1 per category, averages, accuracy and the confusion matrix
// of predictions.dat against the stored categories of TestingCorpus.
#include <algorithm>
#include <optional>
#include <string>

#include "cli/cmd_evaluate.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/evaluate_log_loss.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "cli/provenance.h"
#include "corpusdb/queries.h"
#include "evaluation/evaluation_report.h"
#include "evaluation/predictions_file.h"

namespace newsclass {

void printEvaluationReport(RunContext& context, const ClassificationResults& results,
                           const std::string& format) {
  CorpusProcessor processor = context.processor();
  EvaluationReport report =
      buildEvaluationReport(processor.environment(), results, context.categories, kTestingCorpusTable);
  if (format == "csv") {
    context.console().write(formatReportCsv(report));
  } else if (format == "json") {
    context.console().write(formatReportJson(report));
  } else if (format == "html") {
    // The page is UTF-8 whatever the console's encoding, so it bypasses the console; loading
    // lines go to standard error.
    Environment environment = context.environment();
    Console side(context.errors(), context.console().encoding(), true);
    environment.console = &side;
    CorpusProcessor quiet(context.trainFirst, context.trainLast, environment);
    const std::string page = evaluationPage(context, quiet, report, results);
    side.flush();
    context.console().flush();
    context.output() << page;
    context.output().flush();
  } else {
    context.console().write(formatReportText(report));
    // How the predictions were made, as the data folder records it.
    const Provenance facts = readModelFacts(context);
    if (!facts.empty()) {
      std::string line = "\nModel (model.json):";
      bool first = true;
      for (const char* key : {"table", "train_range", "test_range", "categories", "tokenizer",
                              "terms", "measure", "count", "weighting", "vector_format", "classifier", "k", "vote",
                              "c", "class_weight", "knn_weight"}) {
        auto found = facts.find(key);
        if (found == facts.end()) continue;
        line += std::string(first ? " " : ", ") + key + " " + found->second;
        first = false;
      }
      context.console().line(line);
    }
    auto tuned = facts.find("tune_scores");
    if (tuned != facts.end()) {
      // The best setting's mean and deviation lead the record, best first.
      const std::string best = tuned->second.substr(0, tuned->second.find("; "));
      const size_t meanEnd = best.find(' ');
      const size_t deviationEnd = best.find(' ', meanEnd + 1);
      context.console().line(
          "Tuned (model.json): " + facts.at("tune_metric") + " " + best.substr(0, meanEnd) +
          " (std " + best.substr(meanEnd + 1, deviationEnd - meanEnd - 1) + ") over " +
          facts.at("tune_folds") + " folds of the training range, seed " +
          facts.at("tune_seed") + ", grid " + facts.at("tune_grid"));
    }
  }
}

namespace {

struct EvaluateOptions {
  std::string format = "text";
  bool logLoss = false;
};

int runEvaluate(RunContext& context, const EvaluateOptions& options) {
  const std::string path = context.dataPath(kPredictionsFile);
  context.requireReadableFile(path);
  // A malformed file is named with its line before a well-formed one is found stale.
  ClassificationResults results = loadPredictions(path);
  requireCurrentFiles(context, {kPredictionsFile});
  // The categories the folder was built for; --categories may only repeat them.
  const Provenance facts = readModelFacts(context);
  if (context.options().categories != GlobalOptions().categories) {
    refuseMismatch("--categories", context.categoriesText(), "categories", facts,
                   context.dataPath(kModelFactsFile));
  } else if (!recordedCategories(facts).empty()) {
    context.categories = recordedCategories(facts);
  }
  if (options.logLoss && options.format != "text") {
    throw UsageError("--log-loss: the log loss is printed with --format text only");
  }
  // Computed before the report is printed, so that a refusal prints no half report.
  const std::optional<LogLoss> loss =
      options.logLoss ? std::optional<LogLoss>(logisticLogLoss(context, results)) : std::nullopt;
  printEvaluationReport(context, results, options.format);
  if (loss) context.console().line(logLossLine(*loss));
  return 0;
}

}  // namespace

void addEvaluateCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<EvaluateOptions>(
      app, "evaluate",
      R"(Score predictions.dat against the stored categories of TestingCorpus: per category of
--categories precision, recall, F1 and support (its articles in TestingCorpus), micro and
macro averages (macro F1 is the mean of the per-category F1), accuracy and the confusion
matrix. csv and json have fixed columns and keys (docs/formats.md).)",
      FolderUse::kRead, runEvaluate);
  addReportFormatOption(command, options.format);
  command.add_flag("--log-loss", options.logLoss,
                   "With --classifier logistic, also print the log loss: the mean of -ln p of "
                   "each testing article's stored category under the folder's model (text only)");
}

}  // namespace newsclass
