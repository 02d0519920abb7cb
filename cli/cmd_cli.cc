#include "cli/cmd_cli.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "base/cluster.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_utils.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "corpusdb/connection_string.h"
#include "corpusdb/database_fault.h"
#include "corpusdb/odbc_connection.h"

namespace newsclass {
namespace {

constexpr const char* kDbTimeoutExpected = "expected a number of seconds from 0.001 to 86400";

CategoryList parseCategoryList(const std::string& text) {
  CategoryList categories;
  std::string item;
  std::istringstream in(text);
  while (std::getline(in, item, ',')) {
    trimInPlace(item, " ");
    if (item.empty()) throw UsageError("--categories: empty category name in \"" + text + "\"");
    // contingency.dat and predictions.dat separate their fields at white space.
    if (item.find_first_of(" \t\n\v\f\r") != std::string::npos) {
      throw UsageError("--categories: category name \"" + item + "\" holds white space");
    }
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

// One error line on standard error, after whatever standard output holds so far. Control bytes
// in the message (it may quote data) are escaped and a line end inside it cannot split it.
void printErrorLine(std::ostream& out, std::ostream& err, const std::string& message) {
  out.flush();
  err << "newsclass: " << escapeControlBytes(message, false) << "\n";
}

// Flushes standard output; a write that failed, now or earlier, is reported as one line and
// turns a successful run into exit code 2.
int checkOutput(std::ostream& out, std::ostream& err, int code) {
  out.flush();
  if (out) return code;
  std::string reason;
  if (auto* buffer = dynamic_cast<FileDescriptorBuffer*>(out.rdbuf())) {
    if (buffer->error() != 0) reason = std::string(": ") + std::strerror(buffer->error());
  }
  err << "newsclass: standard output: write failed" << reason << "\n";
  return code == 0 ? 2 : code;
}

// A global option followed by a command name takes the name as its value and leaves no command
// ("newsclass --categories build-dictionary"); that is refused instead of running the default
// sequence with a strange value.
void refuseCommandNamesAsValues(const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_type_size() == 0 || option->count() == 0) continue;  // flags, unused
    for (const std::string& value : option->results()) {
      for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == value) {
          throw UsageError(option->get_name() + ": expected a value, got the command name \"" +
                           value + "\"");
        }
      }
    }
  }
}

// Runs the command that was given, with the data folder held as it declared, or the default
// sequence, which prints "finish" and waits for a line of input (unless standard output already
// failed: nobody would see "finish"). The folder is released before the wait.
int dispatch(const CommandSet& commands, RunContext& context) {
  int code = 0;
  const CommandSet::Entry* entry = commands.parsedEntry();
  // The commands a distributed run spreads over its ranks, and those rank 0 runs alone while the
  // others wait (they take little time; every other command is one process's work).
  static const std::set<std::string> kAcrossRanks = {"pipeline", "classify", "predict",
                                                     "build-dictionary", "build-vectors"};
  static const std::set<std::string> kOnRankZero = {"build-contingency", "select-features"};
  if (cluster::distributed() &&
      (entry == nullptr || (kAcrossRanks.count(entry->command->get_name()) == 0 &&
                            kOnRankZero.count(entry->command->get_name()) == 0))) {
    throw UsageError((entry == nullptr ? std::string("the default sequence")
                                       : entry->command->get_name()) +
                     " runs as one process; of the commands only pipeline, the build-* and "
                     "select-features stages, classify and predict FILE run on the " +
                     std::to_string(cluster::size()) + " ranks of this job (run it without mpirun)");
  }
  if (cluster::rank() != 0 && entry != nullptr &&
      kOnRankZero.count(entry->command->get_name()) != 0) {
    return 0;
  }
  if (entry != nullptr) {
    {
      // Rank 0 alone writes the data folder, so it alone holds it.
      DataFolderLock folder =
          holdDataFolder(context, cluster::rank() == 0 ? entry->use() : FolderUse::kNone);
      code = entry->run(context, folder);
    }
    context.console().flush();
    return code;
  }
  {
    DataFolderLock folder = holdDataFolder(context, FolderUse::kWriteInputs);
    code = runDefaultSequence(context);
  }
  context.console().line("finish");
  context.console().flush();
  if (context.output()) waitForUser(context.input());
  return code;
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

void checkIdRange(const std::string& option, const std::string& text, int32_t first, int32_t last) {
  if (first > last) {
    throw UsageError(option + ": \"" + text +
                     "\" holds no ids (the first id is greater than the last)");
  }
  if (static_cast<int64_t>(last) - first + 1 > INT32_MAX) {
    throw UsageError(option + ": \"" + text + "\" holds more than 2147483647 ids");
  }
}

namespace {

// A finite decimal number that `accepts` takes; otherwise `expected`.
CLI::Validator decimalWhere(std::string expected, std::function<bool(double)> accepts) {
  return CLI::Validator(
      [expected, accepts](std::string& value) -> std::string {
        double number = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
            !std::isfinite(number) || !accepts(number)) {
          return expected;
        }
        return "";
      },
      "");
}

}  // namespace

CLI::Validator decimalNumber(std::string expected, double min, double max) {
  return decimalWhere(std::move(expected),
                      [min, max](double number) { return number >= min && number <= max; });
}

CLI::Validator positiveDecimalNumber(std::string expected) {
  return decimalWhere(std::move(expected), [](double number) { return number > 0.0; });
}

CLI::Validator nonNegativeDecimalNumber(std::string expected) {
  return decimalWhere(std::move(expected), [](double number) { return number >= 0.0; });
}

CLI::Validator wholeNumber(int64_t min, int64_t max) {
  return CLI::Validator(
      [min, max](std::string& value) -> std::string {
        int64_t number = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (ec != std::errc() || end != value.data() + value.size() || value.empty() ||
            number < min || number > max) {
          return "expected a whole number from " + std::to_string(min) + " to " +
                 std::to_string(max) + ", got " + (value.empty() ? "\"\"" : value);
        }
        value = std::to_string(number);
        return "";
      },
      "");
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
  checkIdRange("--train-range", options.trainRange, trainFirst, trainLast);
  if (!parseIdRange(options.testRange, testFirst, testLast)) {
    throw UsageError("--test-range: expected A-B, got \"" + options.testRange + "\"");
  }
  checkIdRange("--test-range", options.testRange, testFirst, testLast);
  categories = parseCategoryList(options.categories);
  environment_.connectionString = withSqliteTimeout(
      options.db.empty() ? sqliteConnectionString(dataPath(kCorpusDatabaseFile)) : options.db,
      static_cast<int>(options.dbTimeout * 1000 + 0.5));
  environment_.threads = options.threads;
  environment_.lexiconPath = options.lexicon;
  environment_.userDictionaryPath = options.userDictionary;
  environment_.stopWordsPath = options.stopWords;
  environment_.console = &console_;
  environment_.segmenter = &segmenter_;
  // Progress lines go to the process's own standard error when it is a terminal; a caller that
  // passes other streams (a test, an embedding program) gets none.
  if (&err == &std::cerr && progressWanted(options.noProgress, options.quiet)) {
    progress_.emplace(STDERR_FILENO);
    environment_.progress = &*progress_;
  }
}

std::string RunContext::dataPath(const std::string& fileName) const {
  const std::string& folder = dataFilesFolder_.empty() ? options_.dataDir : dataFilesFolder_;
  return (std::filesystem::path(folder) / fileName).string();
}

void RunContext::recordFacts(ProvenanceStage stage, const Provenance& facts,
                             const std::vector<std::string>& writtenFiles) {
  Provenance all = facts;
  for (const std::string& name : writtenFiles) all[fileKey(name)] = fileDigest(dataPath(name));
  recordProvenance(dataPath(kModelFactsFile), stage, all);
}

std::string RunContext::shownPath(const std::string& path) const {
  if (dataFilesFolder_.empty()) return path;
  const std::filesystem::path file(path);
  if (file.parent_path() != std::filesystem::path(dataFilesFolder_)) return path;
  return (std::filesystem::path(options_.dataDir) / file.filename()).string();
}

Provenance RunContext::segmenterFileFacts() const {
  return {{"stopwords", fileDigest(environment_.stopWordsPath, true)},
          {"user_dict", fileDigest(environment_.userDictionaryPath, true)},
          {"lexicon", fileDigest(environment_.lexiconPath, true)}};
}

Provenance RunContext::vectorFacts() const {
  Provenance facts = {{"weighting", environment_.weighting == Weighting::kTfidf ? "tfidf" : "spec"},
                      {"test_range", testRangeText()}};
  if (environment_.vectorFormat == VectorFormat::kBinary) facts["vector_format"] = "binary";
  return facts;
}

Provenance RunContext::dictionaryFacts(const std::string& table,
                                       const std::string& tokenizer) const {
  Provenance facts = segmenterFileFacts();
  facts.insert({{"table", table}, {"train_range", trainRangeText()}, {"tokenizer", tokenizer}});
  // Words alone are recorded by no key, so that such a folder's model.json stays as it was.
  if (environment_.terms != TermKinds::kWords) facts["terms"] = termKindsName(environment_.terms);
  return facts;
}

std::string RunContext::trainRangeText() const {
  return std::to_string(trainFirst) + "-" + std::to_string(trainLast);
}

std::string RunContext::testRangeText() const {
  return std::to_string(testFirst) + "-" + std::to_string(testLast);
}

std::string RunContext::categoriesText() const {
  std::string text;
  for (const std::string& category : categories) text += (text.empty() ? "" : ",") + category;
  return text;
}

void RunContext::requireDataFolder() const {
  const std::string& folder = options_.dataDir;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(folder, ec);
  if (std::filesystem::is_directory(status)) return;
  if (std::filesystem::exists(status)) throw DataFileError(folder + ": not a folder (--data-dir)");
  throw DataFileError(folder + ": no such folder (--data-dir)");
}

void RunContext::requireReadableFile(const std::string& path) const {
  // A data file missing because its whole folder is: say so once, about the folder.
  if (std::filesystem::path(path).parent_path() == std::filesystem::path(options_.dataDir)) {
    requireDataFolder();
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw DataFileError(path + ": is a folder");
  if (!std::filesystem::is_regular_file(path, ec)) {
    if (std::filesystem::exists(path, ec)) throw DataFileError(path + ": not a regular file");
    throw DataFileError(path + ": no such file (run the stage that writes it first)");
  }
  std::ifstream probe(path, std::ios::binary);
  if (!probe) throw DataFileError(path + ": cannot open for reading");
}

void RunContext::requireReadableFiles(const std::vector<std::string>& paths) const {
  for (const std::string& path : paths) {
    if (std::filesystem::path(path).parent_path() == std::filesystem::path(options_.dataDir)) {
      requireDataFolder();
      break;
    }
  }
  std::string problems;
  for (const std::string& path : paths) {
    try {
      requireReadableFile(path);
    } catch (const DataFileError& e) {
      if (!problems.empty()) problems += "; ";
      problems += e.what();
    }
  }
  if (!problems.empty()) throw DataFileError(problems);
}

namespace {

constexpr const char* kProgramHelp =
    R"(newsclass: Chinese news text classification. Reads a corpus from an SQL database, builds
a dictionary, a contingency table, feature words, TF-IDF vector models, classifies the
testing articles with KNN or linear SVMs and reports precision, recall and F1. Without a
command it runs the default sequence (vector models from stored files), prints "finish" and
waits for a line of input.)";

// The options that come before the command, each bound to its field of `options`.
void addGlobalOptions(CLI::App& app, GlobalOptions& options) {
  app.add_option("--db", options.db,
                 "ODBC connection string of the corpus database (also NEWSCLASS_DB); default: "
                 "the SQLite file corpus.db in the data folder");
  // Below one millisecond the SQLite driver would wait for ever.
  app.add_option("--db-timeout", options.dbTimeout,
                 "Seconds to wait for a lock another connection holds on the SQLite database "
                 "before failing (not used when the connection string sets Timeout=)")
      ->check(decimalNumber(kDbTimeoutExpected, 0.001, 86400))
      ->capture_default_str();
  app.add_option("--threads", options.threads,
                 "Threads for segmentation, contingency counting, vectors and their files and the "
                 "neighbour search (default: the machine's cores); every file and report is the "
                 "same for any number")
      ->check(wholeNumber(1, 1024))  // decimal only: "010" is ten, not octal 8
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
  app.add_flag("--no-progress", options.noProgress,
               "Draw no progress line on a terminal (one is drawn on standard error for long "
               "stages when it is a terminal, with -q or when standard output goes elsewhere)");
  app.add_option("--lexicon", options.lexicon, "Word-frequency lexicon of the segmenter")
      ->capture_default_str();
  app.add_option("--user-dict", options.userDictionary, "User dictionary of the segmenter")
      ->capture_default_str();
  app.add_option("--stopwords", options.stopWords, "Stop-word file")->capture_default_str();
}

// Parses the command line into `app`'s options; nullopt when that went well, else the exit code
// of a run that ends here: 0 after --help or --help-all printed the help text, 1 after a usage
// error was reported.
std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv,
                                    std::ostream& out, std::ostream& err) {
  try {
    app.parse(argc, argv);
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    int code = 1;
    if (e.get_exit_code() == 0) {
      code = app.exit(e, out, err);
    } else {
      printErrorLine(out, err, e.what());
    }
    return checkOutput(out, err, code == 0 ? 0 : 1);
  }
}

// Runs the parsed command line; every failure becomes one line on standard error and its exit
// code (1 usage error, 2 data, database or system fault).
int runParsed(const CLI::App& app, const CommandSet& commands, const GlobalOptions& options,
              std::istream& in, std::ostream& out, std::ostream& err) {
  int code = 2;
  // The other ranks of a distributed run say which rank failed.
  const std::string rankPrefix =
      cluster::rank() == 0 ? "" : "rank " + std::to_string(cluster::rank()) + ": ";
  bool usage = false;
  try {
    refuseCommandNamesAsValues(app);
    RunContext context(options, in, out, err);
    code = dispatch(commands, context);
  } catch (const UsageError& e) {
    // Every rank checks the same request the same way: rank 0 speaks for all.
    if (cluster::rank() == 0) printErrorLine(out, err, e.what());
    usage = true;
    code = 1;
  } catch (const DatabaseFault& e) {
    // A database fault's message carries its own "database error in" prefix.
    out.flush();
    err << rankPrefix << escapeControlBytes(e.what(), false) << "\n";
    code = 2;
  } catch (const std::exception& e) {
    // DataFileError and anything unforeseen: a data or system fault.
    printErrorLine(out, err, rankPrefix + e.what());
    code = 2;
  }
  code = checkOutput(out, err, code);
  if (code != 0 && cluster::distributed()) {
    // The other ranks may be waiting for this one: a failure on any rank ends the whole job
    // (and removes rank 0's staged files). Rank 0 reports a usage error; the others give it a
    // moment to do so first.
    err.flush();
    if (usage && cluster::rank() != 0) std::this_thread::sleep_for(std::chrono::seconds(3));
    cluster::abortJob(code);
  }
  return code;
}

// A stream buffer that takes every byte and keeps none: the standard output of the ranks of a
// distributed run other than rank 0.
class DiscardingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize size) override { return size; }
};

}  // namespace

int runNewsclass(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                 std::ostream& err) {
  CLI::App app{kProgramHelp, "newsclass"};
  app.set_help_all_flag("--help-all", "Show the help of every command");
  GlobalOptions options;
  if (const char* fromEnvironment = std::getenv("NEWSCLASS_DB")) options.db = fromEnvironment;
  addGlobalOptions(app, options);
  app.require_subcommand(0, 1);
  CommandSet commands;
  addEveryCommand(app, commands);
  // Under mpirun every rank parses the same command line and runs the same command; rank 0
  // alone prints the help, the stages' lines and the report.
  DiscardingBuffer discardingBuffer;
  std::ostream discarded(&discardingBuffer);
  const bool root = cluster::rank() == 0;
  std::ostream& runOut = root ? out : discarded;
  if (const std::optional<int> code =
          parseCommandLine(app, argc, argv, runOut, root ? err : discarded)) {
    return *code;
  }
  if (!root) {
    options.quiet = true;
    options.noProgress = true;
  }
  return runParsed(app, commands, options, in, runOut, err);
}

}  // namespace newsclass
