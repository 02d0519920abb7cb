// The stop-word list: every white-space-separated token of the stop-word file, UTF-8 or GBK,
// held as GBK bytes.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "driver/corpus_processor.h"
#include "driver/encoding.h"

namespace newsclass {
namespace {

// White space as a stream's token reader knows it in the "C" locale. GBK trail bytes are never
// among these, so splitting GBK bytes here never cuts a character.
bool isTokenSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

StopWordSet CorpusProcessor::loadStopWords() {
  StopWordSet words;
  const std::string& path = environment().stopWordsPath;
  std::error_code ec;
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path, ec)) {
    // Missing, unreadable or not a file: no word can be read, so none is a stop word.
    *environment().warnings << path << ": cannot read the stop-word file; no stop words are used\n";
    return words;
  }
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  const std::string text = userTextToGbk(bytes);
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && isTokenSpace(text[i])) ++i;
    size_t start = i;
    while (i < n && !isTokenSpace(text[i])) ++i;
    if (i > start) words.emplace(text, start, i - start);
  }
  return words;
}

}  // namespace newsclass
