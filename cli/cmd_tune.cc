// tune: every setting of a grid scored by cross-validation on the training range alone, the
// articles segmented once; the best first, with the pipeline command line that builds it.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/json_line.h"
#include "base/progress.h"
#include "base/text_utils.h"
#include "cli/cmd_options.h"
#include "cli/cmd_pipeline.h"
#include "cli/commands.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "knn/category_check.h"
#include "linear/linear_run.h"
#include "segmentation/parallel_tokenizing.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"
#include "tune/folds.h"
#include "tune/grid.h"
#include "tune/tune_run.h"

namespace newsclass {
namespace {

constexpr const char* kDefaultGrid = "classifier=linear;c=0.5,1,2;terms=words,words+chars;count=0";

struct TuneOptions {
  int folds = 5;
  std::string grid = kDefaultGrid;
  std::string metric = "macro-f1";
  uint64_t seed = 1;
  std::string format = "text";
  bool apply = false;
};

// The pipeline options that build `choice`'s model, with tune's record of how it was picked.
PipelineOptions pipelineOptionsOf(const TuneChoice& choice) {
  PipelineOptions options;
  options.classifier = choice.model.classifier;
  options.k = choice.model.k;
  options.vote = choice.model.similarityVote ? "similarity" : "count";
  options.weighting = choice.model.weighting == Weighting::kTfidf ? "tfidf" : "spec";
  options.cost = choice.model.cost;
  options.classWeight = choice.model.balancedClassWeights ? "balanced" : "none";
  options.knnWeight = choice.model.knnWeight;
  options.terms = termKindsName(choice.terms);
  options.measure = choice.measure;
  options.count = choice.count;
  return options;
}

// tune's facts for model.json: the grid, the folds, the seed, the metric and every setting's
// mean and standard deviation, best first ("0.87 0.01 classifier=linear c=1; ...").
Provenance tuneNotes(const TuneOptions& options, const std::vector<TuneChoice>& choices,
                     const std::vector<TuneScore>& scores, const std::vector<size_t>& order) {
  std::string ranked;
  for (size_t index : order) {
    ranked += (ranked.empty() ? "" : "; ") + shortestDecimal(scores[index].mean) + " " +
              shortestDecimal(scores[index].deviation) + " " + choices[index].text;
  }
  return {{"tune_grid", options.grid},
          {"tune_folds", std::to_string(options.folds)},
          {"tune_seed", std::to_string(options.seed)},
          {"tune_metric", options.metric},
          {"tune_scores", ranked}};
}

// The training range's articles with text, in ascending id (a repeated id keeps its first
// row), each with its class and the terms of the kinds asked for: one read of the database and
// one segmentation.
std::vector<SegmentedArticle> readTrainingArticles(RunContext& context,
                                                   const std::vector<int>& classes,
                                                   bool needWords, bool needCharacters) {
  // The segmenter's start-up lines go to standard error: standard output is the table alone.
  StageEnvironment environment = context.environment();
  Console side(context.errors(), context.console().encoding(), true);
  environment.console = &side;
  const ArticleRange range = context.trainingRange();
  const StopWordSet stopWords = loadStopWords(environment);
  std::map<int32_t, SegmentedArticle> read;
  SegmenterSession segmenter(environment);
  // One pass cuts every kind needed: a character term starts with "|", which no word does.
  const TermKinds kinds = needWords && needCharacters ? TermKinds::kWordsAndChars
                          : needCharacters            ? TermKinds::kChars
                                                      : TermKinds::kWords;
  {
    OdbcConnection connection(environment.connectionString, "tune");
    TokenizingOptions options;
    options.terms = kinds;
    options.progressLabel = "tune: segmenting";
    options.progressTotal =
        progressTotalOf(environment, connection, kTrainingCorpusTable, range.firstId, range.lastId);
    RowCursor rows =
        connection.execute(articleRangeQuery(kTrainingCorpusTable, range.firstId, range.lastId));
    tokenizeRows(environment, rows, &tokenizeArticle, stopWords, options,
                 [&](TokenizedArticle& article) {
                   if (!article.hasText || read.count(article.id) != 0) return;
                   SegmentedArticle& entry = read[article.id];
                   entry.id = article.id;
                   const int64_t position = static_cast<int64_t>(article.id) - range.firstId;
                   entry.category = position >= 0 && position < static_cast<int64_t>(classes.size())
                                        ? classes[static_cast<size_t>(position)]
                                        : -1;
                   for (std::string& term : article.words) {
                     const bool character = !term.empty() && term.front() == '|';
                     (character ? entry.characters : entry.words).push_back(std::move(term));
                   }
                 });
  }
  segmenter.stop();
  side.flush();
  std::vector<SegmentedArticle> articles;
  articles.reserve(read.size());
  for (auto& [id, article] : read) articles.push_back(std::move(article));
  return articles;
}

std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

void printTable(RunContext& context, const TuneOptions& options,
                const std::vector<TuneChoice>& choices, const std::vector<TuneScore>& scores,
                const std::vector<size_t>& order, const std::string& best) {
  Console& console = context.console();
  if (options.format == "csv") {
    console.line("rank,mean,std,seconds,setting");
    for (size_t rank = 0; rank < order.size(); ++rank) {
      const TuneScore& score = scores[order[rank]];
      console.line(std::to_string(rank + 1) + "," + shortestDecimal(score.mean) + "," +
                   shortestDecimal(score.deviation) + "," + decimal(score.seconds) + "," +
                   choices[order[rank]].text);
    }
    return;
  }
  if (options.format == "json") {
    std::string json = "{\"metric\":\"" + options.metric + "\",\"folds\":" +
                       std::to_string(options.folds) + ",\"seed\":" + std::to_string(options.seed) +
                       ",\"settings\":[";
    for (size_t rank = 0; rank < order.size(); ++rank) {
      const TuneScore& score = scores[order[rank]];
      json += std::string(rank == 0 ? "" : ",") + "{\"setting\":\"" + choices[order[rank]].text +
              "\",\"mean\":" + shortestDecimal(score.mean) + ",\"std\":" +
              shortestDecimal(score.deviation) + ",\"seconds\":" + decimal(score.seconds) +
              ",\"folds\":[";
      for (size_t f = 0; f < score.folds.size(); ++f) {
        json += std::string(f == 0 ? "" : ",") + shortestDecimal(score.folds[f]);
      }
      json += "]}";
    }
    console.line(json + "],\"best\":\"" + best + "\"}");
    return;
  }
  console.line(options.metric + " over " + std::to_string(options.folds) +
               " folds of the training range (seed " + std::to_string(options.seed) +
               "), best first:");
  console.line("rank    mean     std  seconds  setting");
  for (size_t rank = 0; rank < order.size(); ++rank) {
    const TuneScore& score = scores[order[rank]];
    char line[96];
    std::snprintf(line, sizeof line, "%4zu  %.4f  %.4f  %7.2f  ", rank + 1, score.mean,
                  score.deviation, score.seconds);
    console.line(line + choices[order[rank]].text);
  }
  console.line("best: " + best);
}

int runTuneCommand(RunContext& context, const TuneOptions& options) {
  // Everything the grid asks for is checked before the database is read.
  std::vector<TuneChoice> choices;
  for (const TuneSetting& setting : parseGrid(options.grid)) {
    choices.push_back(tuneChoiceOf(setting, context.categories));
  }
  const bool needWords = std::any_of(choices.begin(), choices.end(), [](const TuneChoice& c) {
    return includesWords(c.terms);
  });
  const bool needCharacters = std::any_of(choices.begin(), choices.end(), [](const TuneChoice& c) {
    return includesChars(c.terms);
  });
  checkCategoriesInTable(context.environment(), context.categories, kTrainingCorpusTable);
  const std::vector<int> classes =
      linearTrainingClasses(context.environment(), context.trainingRange(), context.categories);
  const std::vector<SegmentedArticle> articles =
      readTrainingArticles(context, classes, needWords, needCharacters);

  std::vector<int32_t> ids;
  std::vector<int> articleClasses;
  std::vector<size_t> perClass(context.categories.size(), 0);
  for (const SegmentedArticle& article : articles) {
    ids.push_back(article.id);
    articleClasses.push_back(article.category);
    if (article.category >= 0) ++perClass[static_cast<size_t>(article.category)];
  }
  for (size_t c = 0; c < perClass.size(); ++c) {
    if (perClass[c] < 2) {
      throw UsageError("--folds: " + context.categories[c] + " has " + std::to_string(perClass[c]) +
                       " training article with text; a category needs two, so that every fold "
                       "trains on one");
    }
  }
  const std::vector<int> folds = stratifiedFolds(ids, articleClasses, options.folds, options.seed);
  // K neighbours need K training articles in every fold, as pipeline needs them in the range.
  int64_t smallestTraining = INT64_MAX;
  for (int fold = 0; fold < options.folds; ++fold) {
    smallestTraining = std::min<int64_t>(smallestTraining, std::count_if(folds.begin(), folds.end(),
                                                                        [&](int f) { return f != fold; }));
  }
  for (const TuneChoice& choice : choices) {
    const bool usesK = choice.model.classifier == "knn" || choice.model.knnWeight > 0.0;
    if (usesK && choice.model.k > smallestTraining) {
      throw UsageError("--grid: k=" + std::to_string(choice.model.k) + ": a fold trains on " +
                       std::to_string(smallestTraining) + " articles, fewer than K (" +
                       choice.text + ")");
    }
  }

  const TuneMetric metric = options.metric == "accuracy" ? TuneMetric::kAccuracy : TuneMetric::kMacroF1;
  context.console().flush();
  ProgressMeter meter(context.environment().progress, "tune",
                      static_cast<int64_t>(choices.size()) * options.folds, "folds");
  const std::vector<TuneScore> scores = runTune(
      articles, folds, options.folds, context.categories, choices, metric,
      context.environment().threads, [&](size_t done) { meter.update(static_cast<int64_t>(done)); });
  meter.finish();

  // Best first; equal means keep the grid's order.
  std::vector<size_t> order(choices.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return scores[a].mean > scores[b].mean; });
  std::string best = "newsclass";
  const GlobalOptions defaults;
  if (context.options().trainRange != defaults.trainRange) {
    best += " --train-range " + context.trainRangeText();
  }
  if (context.options().testRange != defaults.testRange) {
    best += " --test-range " + context.testRangeText();
  }
  if (context.options().categories != defaults.categories) best += " --categories " + context.categoriesText();
  best += " pipeline";
  for (const std::string& option : choices[order.front()].pipelineOptions) best += " " + option;
  printTable(context, options, choices, scores, order, best);
  if (!options.apply) return 0;

  // The best setting on the whole training range, exactly as pipeline builds it; the stages'
  // lines go to standard error so that standard output keeps the table alone.
  PipelineOptions pipeline = pipelineOptionsOf(choices[order.front()]);
  pipeline.classifierNotes = tuneNotes(options, choices, scores, order);
  context.console().flush();
  runPipelineStages(context, pipeline, true);
  Console side(context.errors(), context.console().encoding(), false);
  side.line("tune: applied the best setting to " + userTextToGbk(context.options().dataDir) +
            " (evaluate reports it on the testing range)");
  side.flush();
  return 0;
}

}  // namespace

void addTuneCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<TuneOptions>(
      app, "tune",
      R"(Score every setting of --grid by cross-validation on the training range alone (the
testing range is never read): the training articles are split into --folds folds,
stratified by category and drawn from their ids and --seed; each fold is labelled by a
model trained on the others, built in memory exactly as the stages build it from a corpus
of just those articles. The articles are segmented once; settings with the same terms,
measure and count share each fold's dictionary, table and feature words. Prints a table,
best first (mean and sample standard deviation of --metric over the folds, and the
seconds of training and labelling), and the pipeline command line of the best setting.
The grid: key=value[,value...] parts joined by ";", every combination one setting; keys
classifier (knn, linear or logistic), c, class_weight, knn_weight, k, vote, weighting,
terms, measure and count take the values of the pipeline options of the same name, for
the classifiers that take them. A key left out takes pipeline's default (measure chi,
count 1000, terms words, c 1, k 10, vote count, weighting spec), the classifier linear.
KNN settings with the same weighting share one neighbour search for their largest K. The same table comes for any --threads and any run with the same
seed. With --apply the best setting then builds the data folder as pipeline would (its
stage lines on standard error), and model.json records the grid and the scores.)",
      FolderUse::kRead, runTuneCommand);
  // Only --apply writes the folder; scoring alone reads the database and nothing else.
  commands.chooseFolderUse(command, [&options = options] {
    return options.apply ? FolderUse::kWrite : FolderUse::kRead;
  });
  command.add_option("--folds", options.folds, "Number of folds")
      ->check(wholeNumber(2, 100))
      ->capture_default_str();
  command.add_option("--grid", options.grid, "The settings to compare (see above)")
      ->capture_default_str();
  addChoiceOption(command, "--metric", options.metric, "What to compare: macro-f1 or accuracy",
                  {"macro-f1", "accuracy"});
  command.add_option("--seed", options.seed, "Seed of the folds")->capture_default_str();
  addChoiceOption(command, "--format", options.format, "Table format: text, csv or json",
                  {"text", "csv", "json"});
  command.add_flag("--apply", options.apply,
                   "Build the data folder with the best setting on the whole training range");
}

}  // namespace newsclass
