// The stop-word list: every white-space-separated token of the stop-word file, UTF-8 or GBK,
// held as GBK bytes.
#include "segmentation/stop_words.h"

#include <string>
#include <string_view>

#include "base/encoding.h"
#include "base/text_file_reader.h"

namespace newsclass {

StopWordSet loadStopWords(const StageEnvironment& environment) {
  StopWordSet words;
  const std::string& path = environment.stopWordsPath;
  std::string bytes;
  if (tryReadTextFile(path, bytes)) {
    // Missing, unreadable or not a file: no word can be read, so none is a stop word.
    environment.warnings << path << ": cannot read the stop-word file; no stop words are used\n";
    return words;
  }
  const std::string text = userTextToGbk(bytes);
  TokenScanner scanner(text);
  std::string_view token;
  while (scanner.next(token)) words.insert(token);
  return words;
}

}  // namespace newsclass
