// Per-category word rankings as the selection stages use them: the scores of every dictionary
// word for one category, highest first, holding pointers to the dictionary's words instead of
// copies. FeatureRanking (the public result) is this list with the words copied out.
#ifndef NEWSCLASS_FEATURES_WORD_RANKING_H_
#define NEWSCLASS_FEATURES_WORD_RANKING_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "base/console.h"
#include "contingency/contingency_table.h"
#include "dictionary/dictionary.h"
#include "features/feature_ranking.h"

namespace newsclass {

// What a ranking scores a word by: one of the measures of features/measures.h, or the
// category's count alone.
enum class FeatureMeasure {
  kChiSquare,
  kInformationGain,
  kMutualInformation,
  kCategoryFrequency,  // the number of the category's articles that contain the word
};

struct ScoredWord {
  const std::string* word;  // a key of the dictionary the ranking was made from
  double score;
};

// The dictionary's words with their document frequencies and, for some categories, each word's
// cell, gathered in one ordered walk over the dictionary and the table. A missing cell is added
// to the table as (0, 0). Rankings read these arrays instead of walking the dictionary and the
// table again for every category. Pointers stay valid while the dictionary is not changed and
// no cell is erased.
struct RankingInput {
  std::vector<const std::string*> words;                             // dictionary order
  std::vector<int32_t> documentFrequencies;                          // postings of each word
  std::map<std::string, std::vector<const ContingencyCell*>> cells;  // category: cell per word
};

RankingInput gatherRankingInput(const Dictionary& dictionary, ContingencyTable& table,
                                const std::vector<std::string>& categories);

// Scores every word for `category` (one of the input's categories) and sorts the list highest
// first: a stable sort on greater-than, so equal scores keep dictionary (byte-wise) order. Scores
// that are not numbers come after every other score, in dictionary order among themselves.
// A word's counts for the measure are a = its cell's withWord, b = df - a, c = its cell's
// withoutWord and d = (rangeSize - df) - c, with df its document frequency and `rangeSize` N, the
// number of articles of the training range; kCategoryFrequency scores a alone.
//
// With a `limit`, only the first `limit` entries of that order are returned; they are found
// without sorting the rest.
std::vector<ScoredWord> rankWords(FeatureMeasure measure, const RankingInput& input,
                                  const std::string& category, int32_t rangeSize,
                                  size_t limit = std::numeric_limits<size_t>::max());

// The line a category-frequency ranking prints: "为类别", the category, "遴选特征词共用了" and
// the seconds.
void printCategoryRankingTime(Console& console, const std::string& category, double seconds);

// The ranking with its words copied out.
FeatureRanking toFeatureRanking(const std::vector<ScoredWord>& ranking);

}  // namespace newsclass

#endif  // NEWSCLASS_FEATURES_WORD_RANKING_H_
