// The keyword list keywords.dat and its statistics, and the normalisation of a weighted keyword
// list.
#ifndef NEWSCLASS_VSM_KEYWORDS_H_
#define NEWSCLASS_VSM_KEYWORDS_H_

#include <string>
#include <vector>

#include "dictionary/dictionary.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// Every white-space-separated token of the file, in file order, duplicates kept. A file that
// cannot be read is a DataFileError: the list it would give is unknown, and every vector's
// layout depends on it.
std::vector<std::string> readKeywords(const std::string& path);
// Each keyword's posting statistics in the dictionary, in keyword-list order.
std::vector<KeywordStatistic> keywordStatistics(const Dictionary& dictionary,
                                                const std::string& path);
// The list with its weights divided by their Euclidean length (unchanged when it is 0).
WeightedKeywordList normalizeVector(WeightedKeywordList list);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_KEYWORDS_H_
