// The per-category feature selection: each category gets a share of the requested number of
// feature words in proportion to its training articles, takes that many words from the top of
// its ranking, and the union of all taken words is written to the keyword file.
#ifndef NEWSCLASS_FEATURES_FEATURE_SELECTION_H_
#define NEWSCLASS_FEATURES_FEATURE_SELECTION_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/stage_environment.h"
#include "contingency/contingency_table.h"
#include "corpusdb/category_list.h"
#include "dictionary/dictionary.h"
#include "features/word_ranking.h"

namespace newsclass {

// What one category contributed: its training article count, its quota and the words it took
// (the first `quota` entries of its ranking, or all of them when the quota is larger).
struct CategorySelection {
  std::string category;
  int32_t articleCount = 0;
  int32_t quota = 0;
  std::vector<ScoredWord> words;
};

// The quota of a category with `articleCount` training articles: articleCount * featureTotal /
// rangeSize, truncated toward zero. Throws UsageError when rangeSize is not positive.
int32_t categoryQuota(int32_t articleCount, int32_t featureTotal, int32_t rangeSize);

// The words the selection with `measure` takes, in ascending byte order, each once (views of the
// dictionary's keys): each category, with articleCountOf(category) training articles, takes its
// quota from the top of its ranking. `onCategory`, when given, receives each category's
// selection and the seconds its ranking took, in list order.
std::vector<std::string_view> selectFeatureWords(
    FeatureMeasure measure, const CategoryList& categories, const Dictionary& dictionary,
    ContingencyTable& table, int32_t featureTotal, int32_t rangeSize,
    const std::function<int32_t(const std::string&)>& articleCountOf,
    const std::function<void(CategorySelection&&, double rankingSeconds)>& onCategory = {});

// Runs the selection with `measure` over the training range's articles and writes the keyword
// file `path` (one word per line, ascending byte order, each word once), then prints the word
// count and the timing line.
// When `selections` is given, it receives one entry per category of the list, in list order.
void selectFeatures(const StageEnvironment& environment, ArticleRange range, FeatureMeasure measure,
                    const CategoryList& categories, const Dictionary& dictionary,
                    ContingencyTable& table, int32_t featureTotal, const std::string& path,
                    std::vector<CategorySelection>* selections = nullptr);

}  // namespace newsclass

#endif  // NEWSCLASS_FEATURES_FEATURE_SELECTION_H_
