// predict's input lines, from standard input and from a FILE, against data folders the process
// builds once from the sample corpus (one for KNN, one for the linear classifier). Whatever the
// bytes, predict answers every line, one answer a line, or, with --tsv, stops at a line without
// an id with exit code 2 and one error line naming the input and the line.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cmd_cli.h"
#include "fuzz/fuzz_support.h"

#ifndef NEWSCLASS_SOURCE_DIR
#error "NEWSCLASS_SOURCE_DIR must name the source tree (the sample corpus is read from it)"
#endif

namespace {

struct RunResult {
  int exitCode;
  std::string out, err;
};

RunResult run(const std::vector<std::string>& arguments, const std::string& input) {
  std::vector<const char*> argv{"newsclass"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::istringstream in(input);
  std::ostringstream out, err;
  const int exitCode =
      newsclass::runNewsclass(static_cast<int>(argv.size()), argv.data(), in, out, err);
  return {exitCode, out.str(), err.str()};
}

// The global options of every run: a folder of the scratch area, GBK on the console, no
// per-article lines, no progress.
std::vector<std::string> globalOptions(const std::string& folder) {
  return {"--data-dir", folder, "--console-encoding", "gbk", "-q", "--no-progress", "--threads", "2"};
}

// Builds a data folder from the sample corpus with the given classifier, once.
std::string dataFolder(const std::string& classifier) {
  const std::string source = NEWSCLASS_SOURCE_DIR;
  const std::string folder = newsclass::fuzz::scratchFolder() + "/" + classifier;
  std::vector<std::string> import = globalOptions(folder);
  import.insert(import.end(), {"import", "--replace", source + "/sample/corpus.tsv"});
  std::vector<std::string> pipeline = globalOptions(folder);
  pipeline.insert(pipeline.end(),
                  {"--train-range", "1-120", "--test-range", "1-30", "--lexicon",
                   source + "/testdata/tiny_lexicon.txt", "--user-dict",
                   source + "/sample/dict.txt", "--stopwords", source + "/sample/stopwords.txt",
                   "pipeline", "--count", "200", "--classifier", classifier});
  for (const auto& arguments : {import, pipeline}) {
    const RunResult result = run(arguments, "");
    if (result.exitCode != 0) {
      newsclass::fuzz::fail("cannot build the " + classifier + " data folder: " + result.err);
    }
  }
  return folder;
}

// Lines as predict reads them: each line end ends one; bytes after the last one form a line.
size_t lineCount(const std::string& text) {
  size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  return lines + (!text.empty() && text.back() != '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  static const bool cacheInScratch =
      setenv("XDG_CACHE_HOME", (fuzz::scratchFolder() + "/cache").c_str(), 1) == 0;
  static const std::string knnFolder = dataFolder("knn");
  static const std::string linearFolder = dataFolder("linear");
  (void)cacheInScratch;
  if (size == 0) return 0;
  // The first byte chooses the options, the rest is the input.
  const uint8_t mode = data[0];
  const std::string text(fuzz::asBytes(data + 1, size - 1));
  const bool tsv = mode & 1;
  const std::string format = std::vector<std::string>{"text", "tsv", "jsonl", "text"}[(mode >> 1) & 3];
  const bool linear = mode & 8;
  const bool fromFile = mode & 16;
  const bool neighbours = (mode & 32) && format == "jsonl" && !linear;

  std::vector<std::string> arguments = globalOptions(linear ? linearFolder : knnFolder);
  arguments.insert(arguments.end(), {"predict", "--format", format});
  if (tsv) arguments.push_back("--tsv");
  if (neighbours) arguments.push_back("--neighbours");
  std::string where = "standard input";
  if (fromFile) {
    where = fuzz::writeScratchFile("input.txt", text);
    arguments.push_back(where);
  }
  const RunResult result = run(arguments, fromFile ? "" : text);
  if (result.exitCode == 2 && tsv) {
    // Loading lines come first on standard error; the error is the last line.
    const std::string start = "newsclass: " + where + ": line ";
    const size_t last = result.err.rfind('\n', result.err.size() - 2) + 1;
    if (result.err.empty() || result.err.back() != '\n' ||
        result.err.compare(last, start.size(), start) != 0) {
      fuzz::fail("predict refused an input without a last line naming it: " + result.err);
    }
    fuzz::refused(where, result.err.substr(last + 11));
    return 0;
  }
  if (result.exitCode != 0) {
    fuzz::fail("predict ended with " + std::to_string(result.exitCode) + ": " + result.err);
  }
  if (lineCount(result.out) != lineCount(text)) {
    fuzz::fail("predict gave " + std::to_string(lineCount(result.out)) + " answers to " +
               std::to_string(lineCount(text)) + " lines");
  }
  fuzz::accepted();
  return 0;
}
