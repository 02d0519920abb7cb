// build-contingency and select-features: the contingency table from dict.dat and the corpus
// database, and the feature words (keywords.dat) from dict.dat and contingency.dat.
#include <charconv>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "corpusdb/queries.h"
#include "features/measure_selection.h"
#include "knn/category_check.h"

namespace newsclass {
namespace {

struct BuildContingencyOptions {
  std::string table = kTrainingCorpusTable;
};

struct SelectFeaturesOptions {
  std::string measure = "chi";
  int32_t count = 1000;
  std::string scoresPath;
};

// Shortest text that reads back as the same double.
std::string formatScore(double score) {
  if (std::isnan(score)) return "nan";  // whatever its sign bit
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, score);
  return std::string(text, end);
}

// The words each category took, with rank and score: UTF-8 TSV with a header line.
void writeScores(const std::string& path, const std::vector<CategorySelection>& selections) {
  writeFileAtomically(path, [&selections](std::ostream& out) {
    out << "category\trank\tword\tscore\n";
    for (const CategorySelection& selection : selections) {
      const std::string category = gbkToUtf8(selection.category);
      for (size_t i = 0; i < selection.words.size(); ++i) {
        out << category << '\t' << (i + 1) << '\t' << gbkToUtf8(*selection.words[i].word) << '\t'
            << formatScore(selection.words[i].score) << '\n';
      }
    }
  });
}

int runBuildContingency(RunContext& context, const BuildContingencyOptions& options) {
  checkTableName(options.table);
  const std::string dictionaryPath = context.dataPath(kDictionaryFile);
  requireCurrentFiles(context, {kDictionaryFile});
  CorpusProcessor processor = context.processor();
  // A list that shares no name with the table would count nothing but empty columns.
  checkCategoriesInTable(processor.environment(), context.categories, options.table);
  Dictionary dictionary;
  processor.loadDictionary(dictionary, dictionaryPath);
  ContingencyTable table;
  processor.buildContingencyTable(dictionary, context.categories, table, options.table);
  const std::string path = context.dataPath(kContingencyFile);
  processor.saveContingencyTable(table, path);
  context.recordFacts(ProvenanceStage::kContingency, {{"categories", context.categoriesText()}},
                      {kContingencyFile});
  context.console().line("contingency table: " + std::to_string(table.size()) +
                         " cells, saved to " + userTextToGbk(path));
  return 0;
}

int runSelectFeatures(RunContext& context, const SelectFeaturesOptions& options) {
  const std::string dictionaryPath = context.dataPath(kDictionaryFile);
  const std::string contingencyPath = context.dataPath(kContingencyFile);
  const std::string keywordPath = context.dataPath(kKeywordsFile);
  CorpusProcessor processor = context.processor();
  Dictionary dictionary;
  ContingencyTable table;
  // Document frequency ranks over all categories and needs neither the table nor a quota.
  const bool documentFrequency = options.measure == "df";
  if (documentFrequency && !options.scoresPath.empty()) {
    throw UsageError("--scores: the df measure has no per-category scores");
  }
  if (!options.scoresPath.empty()) {
    const GlobalOptions& global = context.options();
    refuseDataFolderOutput("--scores", options.scoresPath, global.dataDir,
                           {global.stopWords, global.userDictionary, global.lexicon});
  }
  if (documentFrequency) {
    requireCurrentFiles(context, {kDictionaryFile});
    processor.loadDictionary(dictionary, dictionaryPath);
  } else {
    requireCurrentFiles(context, {kDictionaryFile, kContingencyFile});
    processor.loadDictionary(dictionary, dictionaryPath);
    processor.loadContingencyTable(table, contingencyPath);
  }
  std::vector<CategorySelection> selections;
  selectKeywordsByMeasure(processor.environment(), processor.range(), options.measure, context.categories, dictionary, table,
                          options.count, keywordPath,
                          options.scoresPath.empty() ? nullptr : &selections);
  if (!options.scoresPath.empty()) writeScores(options.scoresPath, selections);
  context.recordFacts(ProvenanceStage::kFeatures,
                      {{"measure", options.measure}, {"count", std::to_string(options.count)}},
                      {kKeywordsFile});
  context.console().line("feature words (" + options.measure + ") saved to " +
                         userTextToGbk(keywordPath));
  if (!options.scoresPath.empty()) {
    context.console().line("scores saved to " + userTextToGbk(options.scoresPath));
  }
  return 0;
}

}  // namespace

void addBuildContingencyCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<BuildContingencyOptions>(
      app, "build-contingency",
      R"(Count, for every word of dict.dat and every category, the category's articles with and
without the word; writes contingency.dat. Categories come from --categories.)",
      FolderUse::kWriteInputs, runBuildContingency);
  addTableOption(command, options.table, "Corpus table whose category rows are counted");
}

void addSelectFeaturesCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<SelectFeaturesOptions>(
      app, "select-features",
      R"(Choose the feature words from dict.dat and contingency.dat and write keywords.dat. Each
category takes a share of --count in proportion to its TrainingCorpus articles from the
top of its ranking by chi-square (chi), information gain (ig), mutual information (mi) or
in-category document frequency (cf); df takes the --count words of highest document
frequency over all articles (dict.dat only).)",
      FolderUse::kWriteInputs, runSelectFeatures);
  addMeasureOption(command, options.measure);
  addFeatureCountOption(command, options.count);
  command.add_option("--scores", options.scoresPath,
                     "Also write, per category, the words it took with rank and score "
                     "(UTF-8 TSV: category, rank, word, score)");
}

}  // namespace newsclass
