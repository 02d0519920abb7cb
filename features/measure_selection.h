// The feature measures by the names the command line gives them (chi, ig, mi, cf, df), and the
// one selection that runs whichever a name chooses: select-features and pipeline both go
// through it, and their --measure option takes its list of names from here.
#ifndef NEWSCLASS_FEATURES_MEASURE_SELECTION_H_
#define NEWSCLASS_FEATURES_MEASURE_SELECTION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "features/feature_selection.h"

namespace newsclass {

// The measure names in the order help texts list them: chi-square, information gain, mutual
// information, in-category document frequency (per category), then document frequency over all
// articles.
const std::vector<std::string>& featureMeasureNames();

// The names as a help text lists them: "chi, ig, mi, cf or df".
std::string featureMeasureList();

// Whether the named measure ranks words by the contingency table (every name but "df").
bool measureUsesTable(const std::string& measure);

// The words selectKeywordsByMeasure writes, with no database and no file: the category article
// counts come from `articleCountOf` and N is `rangeSize`. An empty result is no error here.
// UsageError for an unknown measure name, as selectKeywordsByMeasure.
std::vector<std::string_view> keywordsByMeasure(
    const std::string& measure, const CategoryList& categories, const Dictionary& dictionary,
    ContingencyTable& table, int32_t count, int32_t rangeSize,
    const std::function<int32_t(const std::string&)>& articleCountOf);

// Writes the keyword file `path` with the named measure; a `count` of 0 selects every word of the
// dictionary but "" and " " (for df, every word). "df" takes the `count` words of highest
// document frequency of the dictionary (selectByDfThreshold) and uses neither the categories nor
// the table; the other names run selectFeatures with their measure, filling `selections` when it
// is given. Throws UsageError "--measure: expected chi, ig, mi, cf or df, got "NAME"" for any
// other name, before any file changes.
void selectKeywordsByMeasure(const StageEnvironment& environment, ArticleRange range,
                             const std::string& measure,
                             const CategoryList& categories, const Dictionary& dictionary,
                             ContingencyTable& table, int32_t count, const std::string& path,
                             std::vector<CategorySelection>* selections = nullptr);

}  // namespace newsclass

#endif  // NEWSCLASS_FEATURES_MEASURE_SELECTION_H_
