// The command line: global options, the context every command runs in, and the entry point that
// parses arguments, dispatches to one command and turns failures into exit codes
// (0 done, 1 usage error, 2 data or database error).
#ifndef NEWSCLASS_CLI_CMD_CLI_H_
#define NEWSCLASS_CLI_CMD_CLI_H_

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/parallel.h"
#include "cli/data_folder_lock.h"
#include "cli/provenance.h"
#include "processor/corpus_processor.h"
#include "processor/environment.h"
#include "segmentation/segmenter.h"

namespace newsclass {

struct GlobalOptions {
  std::string db;         // ODBC connection string; empty means the SQLite file in the data folder
  double dbTimeout = 30;  // seconds a SQLite connection waits for another one's lock (0.001-86400,
                          // as the --db-timeout option checks)
  int threads = machineThreads();
  std::string dataDir = "data";
  std::string trainRange = "1-6000";
  std::string testRange = "1-600";
  std::string categories = "history,culture,reading,military,society&law,entertainment";
  std::string consoleEncoding = "auto";
  bool quiet = false;
  bool noProgress = false;
  std::string lexicon = kDefaultLexiconPath;
  std::string userDictionary = "dict.txt";
  std::string stopWords = "stopwords.txt";
};

// Everything a command needs once the command line is parsed and checked.
class RunContext {
 public:
  // Throws UsageError for a malformed range, category list or console encoding.
  RunContext(const GlobalOptions& options, std::istream& in, std::ostream& out, std::ostream& err);
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  const GlobalOptions& options() const { return options_; }
  Environment& environment() { return environment_; }
  Console& console() { return console_; }
  std::istream& input() { return *in_; }
  std::ostream& output() { return *out_; }
  std::ostream& errors() { return *err_; }

  // A processor over the training range, in this context's environment.
  CorpusProcessor processor() { return CorpusProcessor(trainFirst, trainLast, environment_); }
  ArticleRange trainingRange() const { return {trainFirst, trainLast}; }
  // A file of the data folder, e.g. dataPath(kDictionaryFile) (cli/data_folder_files.h).
  std::string dataPath(const std::string& fileName) const;
  // From now on dataPath names the files of `folder` instead (a staged copy of the data folder
  // whose files replace the folder's at the end; base/staged_folder.h). The corpus database
  // stays where it was.
  void redirectDataFiles(std::string folder) { dataFilesFolder_ = std::move(folder); }
  // The name a file of dataPath goes by for the user: its place in the data folder, where a
  // redirected file ends up.
  std::string shownPath(const std::string& path) const;
  // Records a stage's facts in the data folder's model.json (cli/provenance.h), dropping
  // those of the later stages, with the digest of each file of the data folder the stage wrote
  // (names such as "dict.dat"; call it once they are in place).
  void recordFacts(ProvenanceStage stage, const Provenance& facts,
                   const std::vector<std::string>& writtenFiles = {});
  // The segmenter's files as this run uses them, as the segmenting stages record them:
  // "stopwords", "user_dict" and "lexicon" with their digests and absolute paths.
  Provenance segmenterFileFacts() const;
  // What the dictionary stage records: the segmenter's files, the table, the training range,
  // the tokeniser and, unless they are words alone, the terms the environment takes.
  Provenance dictionaryFacts(const std::string& table, const std::string& tokenizer) const;
  // What the vector stage records: the weighting, the testing range and, unless it is text,
  // the vector files' form.
  Provenance vectorFacts() const;
  // The ranges and the category list as model.json keeps them: "1-6000", "a,b,c".
  std::string trainRangeText() const;
  std::string testRangeText() const;
  std::string categoriesText() const;
  // Throws DataFileError "DIR: no such folder (--data-dir)" or "DIR: not a folder (--data-dir)"
  // when the data folder is missing or something else than a folder.
  void requireDataFolder() const;
  // Throws DataFileError naming the file when it is missing, a folder or not readable (naming
  // the data folder instead when a data file is missing because the folder is).
  void requireReadableFile(const std::string& path) const;
  // Checks every file first, so that one message (the files' messages joined by "; ") names all
  // that are missing or unreadable.
  void requireReadableFiles(const std::vector<std::string>& paths) const;
  // Locks the data folder against other newsclass runs for as long as the caller keeps the
  // result: kWrite for a command that writes data files, kRead for one that only reads them.
  // Waits, after one line on errors(), while another run holds it (cli/data_folder_lock.h).
  // A data folder that is something else than a folder is refused here, once, naming it.
  DataFolderLock lockDataFolder(DataFolderAccess access) {
    std::error_code ec;
    if (access != DataFolderAccess::kNone && std::filesystem::exists(options_.dataDir, ec)) {
      requireDataFolder();
    }
    return DataFolderLock(options_.dataDir, access, *err_);
  }

  int32_t trainFirst = 1, trainLast = 6000;
  int32_t testFirst = 1, testLast = 600;
  CategoryList categories;

 private:
  GlobalOptions options_;
  std::string dataFilesFolder_;  // where dataPath points; the data folder unless redirected
  std::istream* in_;
  std::ostream* out_;
  std::ostream* err_;
  Console console_;
  Segmenter segmenter_;
  std::optional<ProgressDisplay> progress_;
  Environment environment_;
};

// Parses "A-B" into an inclusive id range; false when malformed.
bool parseIdRange(const std::string& text, int32_t& first, int32_t& last);

// Checks the id range an option gave: it must hold at least one id and at most 2147483647, so
// that its size fits a signed 32-bit integer. Throws UsageError naming the option and its text.
void checkIdRange(const std::string& option, const std::string& text, int32_t first, int32_t last);

// A check for a numeric option: the value must be a decimal whole number from `min` to `max`;
// otherwise the option fails with "<option>: expected a whole number from MIN to MAX, got V".
// An accepted value is rewritten in its plain decimal form, so that "010" means ten.
CLI::Validator wholeNumber(int64_t min, int64_t max);

// A check for a real-valued option: the value must be a finite decimal number ("2", "0.5",
// "1e3"; not hexadecimal, "inf" or "nan", which CLI11 alone would take) from `min` to `max`;
// otherwise the option fails with "<option>: <expected>".
CLI::Validator decimalNumber(std::string expected, double min, double max);
// The same for a value that must also be greater than 0 (the linear models' cost).
CLI::Validator positiveDecimalNumber(std::string expected);
CLI::Validator nonNegativeDecimalNumber(std::string expected);

// Runs newsclass with the given arguments and streams; returns the exit code.
int runNewsclass(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                 std::ostream& err);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_CMD_CLI_H_
