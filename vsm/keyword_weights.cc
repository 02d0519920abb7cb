#include "vsm/keyword_weights.h"

#include <cmath>
#include <ostream>

#include "base/console.h"
#include "base/encoding.h"

namespace newsclass::vsm {

KeywordStatistic statisticOf(const PostingList& postings) {
  KeywordStatistic statistic;
  statistic.documentFrequency = static_cast<int32_t>(postings.size());
  for (const Posting& posting : postings) {
    if (posting.count > statistic.maxCount) statistic.maxCount = posting.count;
  }
  return statistic;
}

std::vector<const PostingList*> findPostingLists(const Dictionary& dictionary,
                                                 const std::vector<std::string>& keywords) {
  std::vector<const PostingList*> lists;
  lists.reserve(keywords.size());
  for (const std::string& keyword : keywords) {
    auto found = dictionary.find(keyword);
    lists.push_back(found == dictionary.end() ? nullptr : &found->second);
  }
  return lists;
}

std::vector<KeywordStatistic> statisticsOf(const std::vector<const PostingList*>& lists) {
  std::vector<KeywordStatistic> statistics;
  statistics.reserve(lists.size());
  for (const PostingList* list : lists) {
    statistics.push_back(list == nullptr ? KeywordStatistic{} : statisticOf(*list));
  }
  return statistics;
}

WeightTable::WeightTable(std::vector<KeywordStatistic> statistics, int64_t collectionSize)
    : statistics_(std::move(statistics)),
      collectionSize_(collectionSize),
      idf_(statistics_.size(), 0.0),
      absent_(statistics_.size(), 0.0),
      present_(statistics_.size(), 0.0) {
  const double n = static_cast<double>(collectionSize);
  for (size_t i = 0; i < statistics_.size(); ++i) {
    const KeywordStatistic& statistic = statistics_[i];
    if (statistic.documentFrequency == 0) continue;  // ln(N / 0) has no meaning: weight 0
    idf_[i] = std::log(n / static_cast<double>(statistic.documentFrequency));
    absent_[i] = termWeight(0, statistic.maxCount, idf_[i]);
    present_[i] = termWeight(1, statistic.maxCount, idf_[i]);
  }
}

size_t WeightTable::unpostedCount() const {
  size_t count = 0;
  for (const KeywordStatistic& statistic : statistics_) {
    if (statistic.documentFrequency == 0) ++count;
  }
  return count;
}

size_t WeightTable::firstUnposted() const {
  for (size_t i = 0; i < statistics_.size(); ++i) {
    if (statistics_[i].documentFrequency == 0) return i;
  }
  return statistics_.size();
}

void normalizeInPlace(double* weights, size_t count) {
  double sum = 0.0;
  for (size_t i = 0; i < count; ++i) sum += weights[i] * weights[i];
  if (sum == 0.0) return;
  const double length = std::sqrt(sum);
  for (size_t i = 0; i < count; ++i) weights[i] = weights[i] / length;
}

void warnUnpostedKeywords(const WeightTable& table, const std::vector<std::string>& keywords,
                          const std::string& keywordPath, const std::string& stage,
                          const Console* console, std::ostream& warnings) {
  const size_t count = table.unpostedCount();
  if (count == 0) return;
  std::string first = keywords[table.firstUnposted()];
  // Keywords are GBK; show them as the console shows text.
  if (console == nullptr || console->encoding() == ConsoleEncoding::kUtf8) {
    first = gbkToUtf8(first);
  }
  if (count == 1) {
    warnings << keywordPath << ": keyword \"" << first
             << "\" has no postings in the dictionary; " << stage
             << " weighs it 0 in every vector\n";
  } else {
    warnings << keywordPath << ": " << count
             << " keywords have no postings in the dictionary, the first \"" << first << "\"; "
             << stage << " weighs them 0 in every vector\n";
  }
}

}  // namespace newsclass::vsm
