// The word lists the segmenter reads (the lexicon, the user dictionary) and the stop-word list:
// any bytes either start the segmenter or leave it cutting single characters, as a word list
// without a usable entry does, and text (a news sentence, and the bytes themselves as text) is
// cut into words that cover it, in order, without fault.
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "segmentation/segmenter.h"

namespace {

// The words of a segmentation are views into the text, in order, none overlapping.
void checkWords(std::string_view text, const std::vector<std::string_view>& words) {
  const char* end = text.data();
  for (std::string_view word : words) {
    if (word.empty() || word.data() < end || word.data() + word.size() > text.data() + text.size()) {
      newsclass::fuzz::fail("a word outside the text or out of order");
    }
    end = word.data() + word.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  const std::string_view bytes = fuzz::asBytes(data, size);
  const std::string path = fuzz::writeScratchFile("words.txt", bytes);
  Segmenter segmenter;
  const bool started = segmenter.start(path);
  const int imported = segmenter.importUserDictionary(path);
  if ((started && segmenter.lexiconWordCount() == 0) || (!started && imported != 0)) {
    fuzz::fail("a segmenter started without words, or took user words without a lexicon");
  }
  std::vector<std::string_view> words;
  for (const std::string_view text : {std::string_view(fuzz::sampleText()), bytes}) {
    words.clear();
    segmenter.segmentInto(text, words);
    checkWords(text, words);
  }
  processor.environment().stopWordsPath = path;
  const StopWordSet stopWords = processor.loadStopWords();
  Segmenter* const ownSegmenter = processor.environment().segmenter;
  processor.environment().segmenter = &segmenter;
  processor.tokenizeArticle(fuzz::sampleText(), stopWords);
  processor.tokenizeArticle(std::string(bytes), stopWords);
  processor.environment().segmenter = ownSegmenter;
  fuzz::accepted();
  return 0;
}
