// Building the dictionary: every article of a corpus table in the training range is tokenised,
// and each of its words gets a posting (article id, count) in the word's list.
#ifndef NEWSCLASS_DICTIONARY_DICTIONARY_BUILD_H_
#define NEWSCLASS_DICTIONARY_DICTIONARY_BUILD_H_

#include <string>

#include "base/stage_environment.h"
#include "dictionary/dictionary.h"
#include "segmentation/term_kinds.h"
#include "segmentation/tokenizer.h"

namespace newsclass {

// Adds the words of the articles of `tableName` with ids in `range` to `dictionary`, each
// article's text cut into `terms` (words by `tokenizer`, characters, or both) on the
// environment's threads, in id order. Starts and
// stops the segmenter, writes a timing line per article. Returns whether the dictionary holds
// a word. A database fault is thrown after the articles before it were added.
bool buildDictionary(const StageEnvironment& environment, ArticleRange range,
                     Dictionary& dictionary, Tokenizer tokenizer, TermKinds terms,
                     const std::string& tableName);

}  // namespace newsclass

#endif  // NEWSCLASS_DICTIONARY_DICTIONARY_BUILD_H_
