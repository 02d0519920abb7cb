// segment: cut a text into words with the project's segmenter, one output line per input line.
// The words go to standard output through the console; the segmenter's start-up lines go to
// standard error, so that the output holds nothing but the words of the input.
#include <string>
#include <string_view>
#include <vector>

#include "base/encoding.h"
#include "base/text_file_reader.h"
#include "cli/commands.h"
#include "segmentation/segmenter_binding.h"

namespace newsclass {
namespace {

struct SegmentOptions {
  std::string file;
  bool tokenize = false;
};

std::string readStream(std::istream& in) {
  std::string bytes;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<size_t>(in.gcount()));
  }
  return bytes;
}

int runSegment(RunContext& context, const SegmentOptions& options) {
  std::string bytes;
  if (options.file.empty()) {
    bytes = readStream(context.input());
  } else {
    if (tryReadTextFile(options.file, bytes)) {
      throw fileError(options.file, "cannot read the text to segment");
    }
  }
  // The whole input is read first so that its encoding is decided once, for all of it.
  const std::string text = userTextToGbk(bytes);
  bytes.clear();
  bytes.shrink_to_fit();

  // A processor whose console is standard error: it carries the start-up lines and stays quiet,
  // so that the tokeniser prints no per-article lines.
  Environment environment = context.environment();
  Console sideConsole(context.errors(), context.console().encoding(), true);
  environment.console = &sideConsole;
  CorpusProcessor processor(context.trainFirst, context.trainLast, environment);
  SegmenterSession session(processor.environment());
  sideConsole.flush();
  StopWordSet stopWords;
  if (options.tokenize) stopWords = processor.loadStopWords();

  const Segmenter& segmenter = *environment.segmenter;
  Console& console = context.console();
  std::string output;
  std::vector<std::string_view> words;
  constexpr size_t kFlushSize = 1 << 20;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(pos, end - pos);
    if (line.ends_with('\r')) line.remove_suffix(1);
    pos = end + 1;
    bool first = true;
    if (options.tokenize) {
      for (const std::string& word : processor.tokenizeArticle(std::string(line), stopWords)) {
        if (!first) output.append("  ");
        output.append(word);
        first = false;
      }
    } else {
      words.clear();
      segmenter.segmentInto(line, words);
      for (std::string_view word : words) {
        if (!first) output.append("  ");
        output.append(word);
        first = false;
      }
    }
    output.push_back('\n');
    if (output.size() >= kFlushSize) {
      console.write(output);
      output.clear();
    }
  }
  console.write(output);
  return 0;
}

}  // namespace

void addSegmentCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<SegmentOptions>(
      app, "segment",
      R"(Cut text into words and print them separated by two spaces, one output line per input
line. The text (UTF-8 or GBK, decided for the whole input) comes from FILE, or from
standard input when no FILE is given. The segmenter's start-up lines go to standard error.)",
      FolderUse::kNone, runSegment);
  command.add_option("FILE", options.file, "Text file to segment (default: standard input)");
  command.add_flag("--tokenize", options.tokenize,
                   "Print the words the article tokeniser keeps instead: digits and stop words "
                   "removed");
}

}  // namespace newsclass
