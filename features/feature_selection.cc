// The four selection stages: quota per category, top words of each category's ranking, the union
// written to the keyword file.
#include "features/feature_selection.h"

#include <algorithm>
#include <limits>
#include <ostream>
#include <set>
#include <string_view>

#include "base/atomic_file.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/stage_clock.h"
#include "corpusdb/queries.h"
#include "features/category_counts.h"

namespace newsclass {
namespace {

// The count a database returned, without the fraction; a value no int32 can hold counts as 0.
int32_t truncateCount(double count) {
  if (!(count > std::numeric_limits<int32_t>::min() - 1.0 &&
        count < std::numeric_limits<int32_t>::max() + 1.0)) {
    return 0;
  }
  return static_cast<int32_t>(count);
}

}  // namespace

int32_t categoryQuota(int32_t articleCount, int32_t featureTotal, int32_t rangeSize) {
  if (rangeSize <= 0) {
    throw UsageError("feature selection needs a training range with at least one id (it has " +
                     std::to_string(rangeSize) + ")");
  }
  // Product first, then the quotient truncated toward zero. 64 bits keep a product that would
  // not fit in 32 from wrapping; the result is capped, since no ranking is that long anyway.
  const int64_t quota = static_cast<int64_t>(articleCount) * featureTotal / rangeSize;
  return static_cast<int32_t>(std::clamp<int64_t>(quota, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

std::vector<std::string_view> selectFeatureWords(
    FeatureMeasure measure, const CategoryList& categories, const Dictionary& dictionary,
    ContingencyTable& table, int32_t featureTotal, int32_t rangeSize,
    const std::function<int32_t(const std::string&)>& articleCountOf,
    const std::function<void(CategorySelection&&, double rankingSeconds)>& onCategory) {
  categoryQuota(0, featureTotal, rangeSize);  // rejects an empty range before any work
  // Views of the dictionary's own keys; the set orders them byte-wise and keeps each once.
  std::set<std::string_view> selected;
  // Every ranking reads one cell and one document frequency per word; gathering them once saves
  // a walk over the dictionary and the table per category.
  const RankingInput input = gatherRankingInput(dictionary, table, categories);
  for (const std::string& category : categories) {
    const int32_t articleCount = articleCountOf(category);
    const int32_t quota = categoryQuota(articleCount, featureTotal, rangeSize);
    // Only the top of the ranking is needed; a quota beyond it takes the whole ranking.
    const StageClock rankingClock;
    std::vector<ScoredWord> ranking =
        rankWords(measure, input, category, rangeSize, static_cast<size_t>(std::max(quota, 0)));
    const double seconds = rankingClock.elapsedSeconds();
    for (const ScoredWord& entry : ranking) selected.insert(*entry.word);
    if (onCategory) onCategory({category, articleCount, quota, std::move(ranking)}, seconds);
  }
  return std::vector<std::string_view>(selected.begin(), selected.end());
}

void selectFeatures(const StageEnvironment& environment, ArticleRange range, FeatureMeasure measure,
                    const CategoryList& categories, const Dictionary& dictionary,
                    ContingencyTable& table, int32_t featureTotal, const std::string& path,
                    std::vector<CategorySelection>* selections) {
  static const std::string kCountLabel = gbk("最后共选择特征词");
  // "共有了" here, "共用了" per category: both kept exactly, as scripts match them.
  static const std::string kTimingLabel = gbk("遴选特征词共有了");
  const int32_t rangeSize = range.size();
  categoryQuota(0, featureTotal, rangeSize);  // rejects an empty range before any work
  const StageClock clock;
  const std::vector<std::string_view> selected = selectFeatureWords(
      measure, categories, dictionary, table, featureTotal, rangeSize,
      [&](const std::string& category) {
        return truncateCount(countCategoryArticles(environment, category, kTrainingCorpusTable));
      },
      [&](CategorySelection&& selection, double rankingSeconds) {
        if (measure == FeatureMeasure::kCategoryFrequency) {
          printCategoryRankingTime(*environment.console, selection.category, rankingSeconds);
        }
        if (selections != nullptr) selections->push_back(std::move(selection));
      });

  // Every vector is laid out by the keyword list: an empty one would make vectors of no
  // position, and every article would look like every other.
  if (selected.empty()) {
    throw DataFileError(path + ": no feature word selected: every category's share of " +
                        std::to_string(featureTotal) + " over " + std::to_string(rangeSize) +
                        " training articles is 0 (raise --count; 0 takes every word)");
  }
  writeFileAtomically(path, [&selected](std::ostream& out) {
    for (std::string_view word : selected) {
      out.write(word.data(), static_cast<std::streamsize>(word.size()));
      out.put('\n');
    }
  });
  environment.console->line(kCountLabel + std::to_string(selected.size()));
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
}

}  // namespace newsclass
