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

#include "base/stage_environment.h"
#include "segmentation/stop_word_set.h"
#include "segmentation/word_list.h"

namespace newsclass {

// A tokeniser: turns an article text into its words, given the stop words, with the
// environment's segmenter. Stop words are passed by reference so that a call costs no copy of
// the set. Safe to call on several threads at once.
using Tokenizer = WordList (*)(const StageEnvironment& environment, std::string text,
                               const StopWordSet& stopWords);

// Segments the text, deletes digit runs, splits it into words and drops empty words and stop
// words; writes the time it took as a detail line.
WordList tokenizeArticle(const StageEnvironment& environment, std::string text,
                         const StopWordSet& stopWords);
// Splits text that is already segmented at its spaces; keeps every piece, stop words included.
WordList splitBySpace(const StageEnvironment& environment, std::string text,
                      const StopWordSet& stopWords);
// The segmenter's words of a text joined by "|".
std::string segmentParagraph(const StageEnvironment& environment, const char* text);

// The segmenter's output with every white-space run replaced by "|".
std::string joinSegmentedWords(const std::string& segmented);

// Digit runs deleted, split at every "|", pieces trimmed of spaces; keeps the non-empty pieces
// that are not stop words, in order.
WordList tokenizeJoinedText(const std::string& joined, const StopWordSet& stopWords);

// The words that tokenizeJoinedText(joinSegmentedWords(words joined by white space)) gives,
// appended to `result`. Returns false, with `result` in an unspecified state, when a word holds
// bytes that are not valid GBK or do not survive a round trip through wide text unchanged.
bool tokenizeSegmenterWords(const std::vector<std::string_view>& words,
                            const StopWordSet& stopWords, WordList& result);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_TOKENIZER_H_
