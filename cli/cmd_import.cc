// import: read a corpus TSV (split, category, title, text; UTF-8 or GBK) into TrainingCorpus and
// TestingCorpus, all or nothing, and print how many articles each split and category received.
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "base/atomic_file.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "corpusdb/corpus_import.h"
#include "corpusdb/queries.h"

namespace newsclass {
namespace {

struct ImportOptions {
  std::string file;
  bool replace = false;
};

std::string readCorpusFile(const std::string& path) {
  std::error_code ec;
  // A folder opens as a stream on Linux and reads as empty, which would import nothing.
  if (std::filesystem::is_directory(path, ec)) throw DataFileError(path + ": is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw DataFileError(path + ": cannot open for reading");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw DataFileError(path + ": read error");
  return bytes;
}

// A bar on standard error, redrawn when the percentage changes; only for a terminal.
class ProgressBar {
 public:
  explicit ProgressBar(std::ostream& out) : out_(out) {}
  ~ProgressBar() {
    if (drawn_) out_ << "\n" << std::flush;
  }
  void update(size_t done, size_t total) {
    constexpr int kWidth = 40;
    int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (drawn_ && percent == lastPercent_) return;
    lastPercent_ = percent;
    drawn_ = true;
    int filled = percent * kWidth / 100;
    out_ << "\rimporting [" << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kWidth - filled), '.') << "] " << percent << "% "
         << done << "/" << total << std::flush;
  }

 private:
  std::ostream& out_;
  int lastPercent_ = -1;
  bool drawn_ = false;
};

bool folderHoldsBuiltFiles(const RunContext& context) {
  std::error_code error;
  for (const char* name : {kModelFactsFile, kDictionaryFile, kContingencyFile, kKeywordsFile,
                           kTrainingVectorsFile, kTestingVectorsFile, kLinearModelFile,
                           kPredictionsFile}) {
    if (std::filesystem::exists(context.dataPath(name), error)) return true;
  }
  return false;
}

int runImport(RunContext& context, const ImportOptions& options) {
  const std::vector<CorpusLine> articles =
      parseCorpusFile(readCorpusFile(options.file), options.file);
  // Replacing with nothing would only empty both tables: an empty file, /dev/null or a file of
  // just the header line is far more likely a mistake than a wish.
  if (articles.empty() && options.replace) {
    throw UsageError("import --replace: " + options.file +
                     " holds no article; refusing to empty TrainingCorpus and TestingCorpus");
  }
  // The embedded database lives in the data folder, which may not exist yet.
  if (context.options().db.empty()) ensureDirectory(context.options().dataDir);

  ImportResult result;
  if (&context.errors() == &std::cerr && isatty(STDERR_FILENO)) {
    ProgressBar bar(std::cerr);
    result = importArticles(context.environment().connectionString, articles, options.replace,
                            [&bar](size_t done, size_t total) { bar.update(done, total); });
  } else {
    result = importArticles(context.environment().connectionString, articles, options.replace);
  }

  // The corpus changed: every file of the data folder was built from another one, so none may
  // be used until rebuilt (model.json keeps the time, and no other fact). A folder that holds
  // no built file yet is left without model.json. (A database named by --db is not the
  // folder's own; which folders it feeds is not known.)
  if (context.options().db.empty() && folderHoldsBuiltFiles(context)) {
    char now[32];
    const std::time_t seconds = std::time(nullptr);
    std::strftime(now, sizeof now, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
    context.recordFacts(ProvenanceStage::kCorpus, {{"imported", now}});
  }

  Console& console = context.console();
  console.line("imported " + std::to_string(articles.size()) + " articles from " +
               userTextToGbk(options.file));
  auto splitLine = [&console](const char* table, int32_t count, int32_t firstId) {
    std::string line = std::string(table) + ": " + std::to_string(count) + " articles";
    if (count > 0) {
      line += " (ids " + std::to_string(firstId) + "-" + std::to_string(firstId + count - 1) + ")";
    }
    console.line(line);
  };
  splitLine(kTrainingCorpusTable, result.trainingArticles, result.firstTrainingId);
  for (const ImportCount& count : result.counts) {
    if (count.table == kTrainingCorpusTable) {
      console.line("  " + count.category + ": " + std::to_string(count.articles));
    }
  }
  splitLine(kTestingCorpusTable, result.testingArticles, result.firstTestingId);
  for (const ImportCount& count : result.counts) {
    if (count.table == kTestingCorpusTable) {
      console.line("  " + count.category + ": " + std::to_string(count.articles));
    }
  }
  return 0;
}

}  // namespace

void addImportCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<ImportOptions>(
      app, "import",
      R"(Import a corpus file into the database: a tab-separated file (UTF-8 or GBK) with the
columns split (train or test), category, title and text, one article a line; a first line
naming the columns is skipped. Tables TrainingCorpus and TestingCorpus are created when
missing; articles are numbered in file order after the highest id of their table. All or
nothing: a malformed line stops the import with FILE:LINE and changes nothing.)",
      FolderUse::kWriteOwnDatabase, runImport);
  command.add_option("FILE", options.file, "Corpus file (TSV)")->required();
  command.add_flag("--replace", options.replace,
                   "Empty both tables first, so that ids start at 1 (refused for a file that holds "
                   "no article)");
}

}  // namespace newsclass
