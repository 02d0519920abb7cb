// Per-category word rankings as the selection stages use them: the scores of every dictionary
// word for one category, highest first, holding pointers to the dictionary's words instead of
// copies. FeatureRanking (the public result) is this list with the words copied out.
#ifndef NEWSCLASS_FEATURES_WORD_RANKING_H_
#define NEWSCLASS_FEATURES_WORD_RANKING_H_

#include <string>
#include <vector>

#include "driver/corpus_processor.h"

namespace newsclass {

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

// Scores every word of `dictionary` for `category` and sorts the list highest first: a stable
// sort on greater-than, so equal scores keep dictionary (byte-wise) order. Scores that are not
// numbers come after every other score, in dictionary order among themselves. A word without a
// cell for the category counts as withWord = withoutWord = 0 and gets that cell in `table`.
// kCategoryFrequency prints the per-category timing line. The pointers stay valid while the
// dictionary is not changed.
std::vector<ScoredWord> rankWords(CorpusProcessor& processor, FeatureMeasure measure,
                                  const Dictionary& dictionary, ContingencyTable& table,
                                  const std::string& category);

// The ranking with its words copied out.
FeatureRanking toFeatureRanking(const std::vector<ScoredWord>& ranking);

}  // namespace newsclass

#endif  // NEWSCLASS_FEATURES_WORD_RANKING_H_
