// build-dictionary: tokenise the training articles and save the dictionary to dict.dat.
// print-dictionary: load dict.dat and print it compactly.
#include <memory>
#include <string>

#include "base/encoding.h"
#include "base/text_utils.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "dictionary/dictionary_file.h"

namespace newsclass {

void addBuildDictionaryCommand(CLI::App& app, CommandSet& commands) {
  struct Options {
    std::string tokenizer = "segment";
    std::string table = "TrainingCorpus";
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "build-dictionary",
      "Tokenise the articles of the training range and save the dictionary (every word with the "
      "articles that contain it and how often) to <data-dir>/dict.dat. Prints a tokenising time "
      "and a \"处理第\" line per article (--quiet leaves them out), then a summary.");
  addTokenizerOption(*command, options->tokenizer);
  command->add_option("--table", options->table, "Corpus table to read the articles from")
      ->capture_default_str();
  commands.add(command, [options](RunContext& context) {
    DataFolderLock lock = context.lockDataFolder(DataFolderAccess::kWrite);
    CorpusProcessor processor = context.processor();
    Dictionary dictionary;
    processor.buildDictionary(dictionary, tokenizerByName(options->tokenizer), options->table);
    const std::string path = context.dataPath("dict.dat");
    processor.saveDictionary(dictionary, path);
    Provenance facts = context.segmenterFileFacts();
    facts.insert({{"table", options->table},
                  {"train_range", context.trainRangeText()},
                  {"tokenizer", options->tokenizer}});
    context.recordFacts(ProvenanceStage::kDictionary, facts, {"dict.dat"});
    context.console().line("dictionary: " + std::to_string(dictionary.size()) + " words from " +
                           options->table + " articles " + formatInt(processor.firstArticleId) +
                           "-" + formatInt(processor.lastArticleId) + ", saved to " +
                           userTextToGbk(path));
    return 0;
  });
}

void addPrintDictionaryCommand(CLI::App& app, CommandSet& commands) {
  CLI::App* command = app.add_subcommand(
      "print-dictionary",
      "Print <data-dir>/dict.dat: the number of words, then per word its text, its number of "
      "articles and \"id,count;\" per article.");
  commands.add(command, [](RunContext& context) {
    DataFolderLock lock = context.lockDataFolder(DataFolderAccess::kRead);
    const std::string path = context.dataPath("dict.dat");
    context.requireReadableFile(path);
    Dictionary dictionary;
    context.processor().loadDictionary(dictionary, path);
    printDictionary(dictionary, context.console());
    return 0;
  });
}

}  // namespace newsclass
