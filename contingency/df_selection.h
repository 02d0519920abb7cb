// Feature words by document frequency: the n words that occur in the most articles.
#ifndef NEWSCLASS_CONTINGENCY_DF_SELECTION_H_
#define NEWSCLASS_CONTINGENCY_DF_SELECTION_H_

#include <string>

#include "base/console.h"
#include "dictionary/dictionary.h"

namespace newsclass {

// Replaces `path` with the n words of the most postings, one a line (equal counts in
// dictionary order), and writes the count and the threshold to the console. Selecting no word
// is a DataFileError naming `path`.
void selectByDfThreshold(const Dictionary& dictionary, unsigned n, const std::string& path,
                         Console& console);

}  // namespace newsclass

#endif  // NEWSCLASS_CONTINGENCY_DF_SELECTION_H_
