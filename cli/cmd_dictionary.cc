// build-dictionary: tokenise the training articles and save the dictionary to dict.dat.
// print-dictionary: load dict.dat and print it compactly.
#include <string>

#include "base/cluster.h"
#include "base/encoding.h"
#include "base/text_utils.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "cli/pipeline_ranks.h"
#include "corpusdb/queries.h"
#include "dictionary/dictionary_file.h"

namespace newsclass {
namespace {

struct BuildDictionaryOptions {
  std::string tokenizer = "segment";
  std::string terms = "words";
  std::string table = kTrainingCorpusTable;
};

int runBuildDictionary(RunContext& context, const BuildDictionaryOptions& options) {
  context.environment().terms = termKindsByName(options.terms);
  CorpusProcessor processor = context.processor();
  Dictionary dictionary;
  if (cluster::distributed()) {
    // Each rank segments its share; rank 0 puts the dictionary together and writes it.
    buildDictionaryAcrossRanks(processor.environment(), processor.range(),
                               tokenizerByName(options.tokenizer), options.table, dictionary);
    if (cluster::rank() != 0) return 0;
  } else {
    processor.buildDictionary(dictionary, tokenizerByName(options.tokenizer), options.table);
  }
  const std::string path = context.dataPath(kDictionaryFile);
  processor.saveDictionary(dictionary, path);
  context.recordFacts(ProvenanceStage::kDictionary,
                      context.dictionaryFacts(options.table, options.tokenizer), {kDictionaryFile});
  context.console().line("dictionary: " + std::to_string(dictionary.size()) + " words from " +
                         options.table + " articles " + formatInt(processor.firstArticleId) +
                         "-" + formatInt(processor.lastArticleId) + ", saved to " +
                         userTextToGbk(path));
  return 0;
}

int runPrintDictionary(RunContext& context) {
  const std::string path = context.dataPath(kDictionaryFile);
  context.requireReadableFile(path);
  Dictionary dictionary;
  context.processor().loadDictionary(dictionary, path);
  printDictionary(dictionary, context.console());
  return 0;
}

}  // namespace

void addBuildDictionaryCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<BuildDictionaryOptions>(
      app, "build-dictionary",
      R"(Tokenise the articles of the training range and save the dictionary (every word with the
articles that contain it and how often) to <data-dir>/dict.dat. Prints a tokenising time
and a "处理第" line per article (--quiet leaves them out), then a summary.)",
      FolderUse::kWrite, runBuildDictionary);
  addTokenizerOption(command, options.tokenizer);
  addTermsOption(command, options.terms);
  addTableOption(command, options.table, "Corpus table to read the articles from");
}

void addPrintDictionaryCommand(CLI::App& app, CommandSet& commands) {
  commands.add(app, "print-dictionary",
               "Print <data-dir>/dict.dat: the number of words, then per word its text, its "
               "number of articles and \"id,count;\" per article.",
               FolderUse::kRead, runPrintDictionary);
}

}  // namespace newsclass
