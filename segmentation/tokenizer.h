// The tokenisers' text operations: an article text becomes the words that count for the
// dictionary and the vectors.
//
// The tokeniser's result is defined by a chain of text operations on the segmenter's output:
// convert to wide text, replace every white-space run by "|", convert back, convert to wide text
// again, delete every digit run, split at "|", convert each piece back, trim it and drop it when
// it is empty or a stop word. `tokenizeJoinedText` and `joinSegmentedWords` are that chain,
// step by step, with regular expressions. `tokenizeSegmenterWords` computes the same words in one
// pass over the GBK bytes of the segmenter's words; it gives up on text whose bytes the GBK
// tables cannot vouch for, and the tokeniser then takes the step-by-step road.
#ifndef NEWSCLASS_SEGMENTATION_TOKENIZER_H_
#define NEWSCLASS_SEGMENTATION_TOKENIZER_H_

#include <string>
#include <string_view>
#include <vector>

#include "processor/corpus_processor.h"

namespace newsclass {

// The segmenter's output with every white-space run replaced by "|".
std::string joinSegmentedWords(const CorpusProcessor& processor, const std::string& segmented);

// Digit runs deleted, split at every "|", pieces trimmed of spaces; keeps the non-empty pieces
// that are not stop words, in order.
WordList tokenizeJoinedText(const CorpusProcessor& processor, const std::string& joined,
                            const StopWordSet& stopWords);

// The words that tokenizeJoinedText(joinSegmentedWords(words joined by white space)) gives,
// appended to `result`. Returns false, with `result` in an unspecified state, when a word holds
// bytes that are not valid GBK or do not survive a round trip through wide text unchanged.
bool tokenizeSegmenterWords(const std::vector<std::string_view>& words,
                            const StopWordSet& stopWords, WordList& result);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_TOKENIZER_H_
