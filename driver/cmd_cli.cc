#include "driver/cmd_cli.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "corpusdb/connection_string.h"
#include "corpusdb/database_fault.h"
#include "corpusdb/odbc_connection.h"
#include "driver/commands.h"
#include "driver/errors.h"
#include "driver/encoding.h"
#include "driver/text_utils.h"

namespace newsclass {
namespace {

CategoryList parseCategoryList(const std::string& text) {
  CategoryList categories;
  std::string item;
  std::istringstream in(text);
  while (std::getline(in, item, ',')) {
    trimInPlace(item, " ");
    if (item.empty()) throw UsageError("--categories: empty category name in \"" + text + "\"");
    // Names on the command line are the user's text; inside, names are GBK like the database.
    categories.push_back(userTextToGbk(item));
  }
  if (categories.empty()) throw UsageError("--categories: the category list is empty");
  return categories;
}

bool isBlankLine(const std::string& line) {
  return line.find_first_not_of(" \t\r\n\v\f") == std::string::npos;
}

// Waits until a line with non-blank text arrives, or the input ends.
void waitForUser(std::istream& in) {
  std::string line;
  while (std::getline(in, line)) {
    if (!isBlankLine(line)) return;
  }
}

}  // namespace

bool parseIdRange(const std::string& text, int32_t& first, int32_t& last) {
  // "A-B", each an integer that may carry a minus sign: "1-6000", "-5--1".
  size_t split = text.find('-', 1);
  if (split == std::string::npos) return false;
  auto a = parseInt32(std::string_view(text).substr(0, split));
  auto b = parseInt32(std::string_view(text).substr(split + 1));
  if (!a || !b) return false;
  first = *a;
  last = *b;
  return true;
}

RunContext::RunContext(const GlobalOptions& options, std::istream& in, std::ostream& out,
                       std::ostream& err)
    : options_(options),
      in_(&in),
      out_(&out),
      err_(&err),
      console_(out, ConsoleEncoding::kUtf8, options.quiet),
      environment_(err) {
  ConsoleEncoding encoding;
  if (!parseConsoleEncoding(options.consoleEncoding, encoding)) {
    throw UsageError("--console-encoding: expected auto, gbk or utf-8, got \"" +
                     options.consoleEncoding + "\"");
  }
  console_ = Console(out, encoding, options.quiet);
  if (!parseIdRange(options.trainRange, trainFirst, trainLast)) {
    throw UsageError("--train-range: expected A-B, got \"" + options.trainRange + "\"");
  }
  if (!parseIdRange(options.testRange, testFirst, testLast)) {
    throw UsageError("--test-range: expected A-B, got \"" + options.testRange + "\"");
  }
  categories = parseCategoryList(options.categories);
  // Below one millisecond the SQLite driver would wait for ever.
  if (!(options.dbTimeout >= 0.001 && options.dbTimeout <= 86400)) {
    throw UsageError("--db-timeout: expected a number of seconds from 0.001 to 86400");
  }
  environment_.connectionString = withSqliteTimeout(
      options.db.empty() ? sqliteConnectionString(dataPath("corpus.db")) : options.db,
      static_cast<int>(options.dbTimeout * 1000 + 0.5));
  environment_.lexiconPath = options.lexicon;
  environment_.userDictionaryPath = options.userDictionary;
  environment_.stopWordsPath = options.stopWords;
  environment_.console = &console_;
  environment_.segmenter = &segmenter_;
}

std::string RunContext::dataPath(const std::string& fileName) const {
  return (std::filesystem::path(options_.dataDir) / fileName).string();
}

void RunContext::requireReadableFile(const std::string& path) const {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw DataFileError(path + ": no such file (run the stage that writes it first)");
  }
  std::ifstream probe(path, std::ios::binary);
  if (!probe) throw DataFileError(path + ": cannot open for reading");
}

int runNewsclass(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  CLI::App app{
      "newsclass: Chinese news text classification. Reads a corpus from an SQL database, builds\n"
      "a dictionary, a contingency table, feature words, TF-IDF vector models, classifies the\n"
      "testing articles with KNN and reports precision, recall and F1. Without a command it runs\n"
      "the default sequence (vector models from stored files), prints \"finish\" and waits for a\n"
      "line of input.",
      "newsclass"};
  app.set_help_all_flag("--help-all", "Show the help of every command");
  GlobalOptions options;
  if (const char* fromEnvironment = std::getenv("NEWSCLASS_DB")) options.db = fromEnvironment;
  app.add_option("--db", options.db,
                 "ODBC connection string of the corpus database (also NEWSCLASS_DB); default: "
                 "the SQLite file corpus.db in the data folder");
  app.add_option("--db-timeout", options.dbTimeout,
                 "Seconds to wait for a lock another connection holds on the SQLite database "
                 "before failing (not used when the connection string sets Timeout=)")
      ->capture_default_str();
  app.add_option("--data-dir", options.dataDir, "Folder of the data files")->capture_default_str();
  app.add_option("--train-range", options.trainRange, "Training article ids A-B")
      ->capture_default_str();
  app.add_option("--test-range", options.testRange, "Testing article ids A-B")
      ->capture_default_str();
  app.add_option("--categories", options.categories, "Comma-separated category names")
      ->capture_default_str();
  app.add_option("--console-encoding", options.consoleEncoding,
                 "Encoding of console output: auto, gbk or utf-8")
      ->capture_default_str();
  app.add_flag("-q,--quiet", options.quiet, "Do not print per-article progress lines");
  app.add_option("--lexicon", options.lexicon, "Word-frequency lexicon of the segmenter")
      ->capture_default_str();
  app.add_option("--user-dict", options.userDictionary, "User dictionary of the segmenter")
      ->capture_default_str();
  app.add_option("--stopwords", options.stopWords, "Stop-word file")->capture_default_str();
  app.require_subcommand(0, 1);

  CommandSet commands;
  addImportCommand(app, commands);
  addShowCommand(app, commands);
  addSegmentCommand(app, commands);
  addBuildDictionaryCommand(app, commands);
  addPrintDictionaryCommand(app, commands);
  addBuildContingencyCommand(app, commands);
  addSelectFeaturesCommand(app, commands);
  addBuildVectorsCommand(app, commands);
  addClassifyCommand(app, commands);
  addEvaluateCommand(app, commands);
  addPipelineCommand(app, commands);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e, out, err);
    return code == 0 ? 0 : 1;
  }

  try {
    RunContext context(options, in, out, err);
    for (const auto& [command, run] : commands.commands()) {
      if (command->parsed()) {
        int code = run(context);
        context.console().flush();
        return code;
      }
    }
    int code = runDefaultSequence(context);
    context.console().line("finish");
    context.console().flush();
    waitForUser(in);
    return code;
  } catch (const UsageError& e) {
    out.flush();
    err << "newsclass: " << e.what() << "\n";
    return 1;
  } catch (const DatabaseFault& e) {
    out.flush();
    err << e.what() << "\n";
    return 2;
  } catch (const DataFileError& e) {
    out.flush();
    err << "newsclass: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    out.flush();
    err << "newsclass: " << e.what() << "\n";
    return 2;
  }
}

}  // namespace newsclass
