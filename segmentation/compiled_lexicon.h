// A lexicon ready for the segmenter: the words of a word-frequency list in a WordTrie, each
// valued log(frequency / total), with the figures the best-path search needs beside it.
// Compiling it from the word list takes far longer than segmenting a page, which is why the
// lexicon cache (segmentation/lexicon_cache.h) keeps it in a file.
#ifndef NEWSCLASS_SEGMENTATION_COMPILED_LEXICON_H_
#define NEWSCLASS_SEGMENTATION_COMPILED_LEXICON_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "segmentation/lexicon.h"

namespace newsclass {

// Changes whenever what a word list compiles to changes: the reading rules of parseWordList,
// the trie WordTrie builds from entries, or the values compileLexicon gives the words. A cache
// saved under another number is never used.
inline constexpr uint32_t kLexiconCompileRules = 1;

struct CompiledLexicon {
  WordTrie words;
  // The sum of the frequencies, each distinct word counted once with its last frequency.
  double total = 0;
  // log(frequency / total) of the rarest and of the most frequent word.
  double minLogProbability = 0;
  double maxLogProbability = 0;
};

// Compiles the bytes of a word list (read as readWordFile reads it, a frequency required).
// A word listed twice keeps its last frequency. Returns nullptr when no entry has a frequency.
std::shared_ptr<CompiledLexicon> compileLexicon(std::string_view wordListBytes);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_COMPILED_LEXICON_H_
