// Feature words by document frequency: the n words that occur in the most articles.
#ifndef NEWSCLASS_CONTINGENCY_DF_SELECTION_H_
#define NEWSCLASS_CONTINGENCY_DF_SELECTION_H_

#include <string>
#include <string_view>
#include <vector>

#include "base/console.h"
#include "dictionary/dictionary.h"

namespace newsclass {

// The n words of the most postings (all of them when there are fewer), most first, equal counts
// in dictionary order; views of the dictionary's keys.
std::vector<std::string_view> dfFeatureWords(const Dictionary& dictionary, unsigned n);

// Replaces `path` with the n words of the most postings, one a line (equal counts in
// dictionary order), and writes the count and the threshold to the console. Selecting no word
// is a DataFileError naming `path`.
void selectByDfThreshold(const Dictionary& dictionary, unsigned n, const std::string& path,
                         Console& console);

}  // namespace newsclass

#endif  // NEWSCLASS_CONTINGENCY_DF_SELECTION_H_
