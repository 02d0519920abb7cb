// The per-category rankings of every dictionary word by one feature measure, and the ordered
// walk that gathers their input from the dictionary and the contingency table.
#include "features/word_ranking.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/encoding.h"
#include "features/measures.h"

namespace newsclass {
namespace {

// True when the cell key comes before (word, category).
bool keyBefore(const ContingencyKey& key, const std::string& word, const std::string& category) {
  const int order = key.first.compare(word);
  return order < 0 || (order == 0 && key.second < category);
}

// A run of cells of other words or categories longer than this is skipped with a search.
constexpr int kMaxWalk = 32;

// The cell (word, category), added as (0, 0) when missing. `cell` is a position at or before the
// cell's place in the table and is left on the cell, so successive calls for ascending words walk
// the table once instead of searching it per word.
ContingencyCell& cellAt(ContingencyTable& table, ContingencyTable::iterator& cell,
                        const std::string& word, const std::string& category) {
  int steps = 0;
  while (cell != table.end() && keyBefore(cell->first, word, category)) {
    if (++steps > kMaxWalk) {
      cell = table.lower_bound(ContingencyKey(word, category));
      break;
    }
    ++cell;
  }
  if (cell == table.end() || cell->first.first != word || cell->first.second != category) {
    cell = table.emplace_hint(cell, ContingencyKey(word, category), ContingencyCell{});
  }
  return cell->second;
}

}  // namespace

RankingInput gatherRankingInput(const Dictionary& dictionary, ContingencyTable& table,
                                const std::vector<std::string>& categories) {
  RankingInput input;
  input.words.reserve(dictionary.size());
  input.documentFrequencies.reserve(dictionary.size());
  for (const std::string& category : categories) {
    input.cells[category].reserve(dictionary.size());
  }
  // Keys (word, category) are visited in ascending order, so one cursor walks the table once.
  auto cell = table.begin();
  for (const auto& [word, postings] : dictionary) {
    input.words.push_back(&word);
    input.documentFrequencies.push_back(static_cast<int32_t>(postings.size()));
    for (auto& [category, column] : input.cells) {
      column.push_back(&cellAt(table, cell, word, category));
    }
  }
  return input;
}

std::vector<ScoredWord> rankWords(FeatureMeasure measure, const RankingInput& input,
                                  const std::string& category, int32_t rangeSize,
                                  size_t limit) {
  const std::vector<const ContingencyCell*>& cells = input.cells.at(category);
  std::vector<ScoredWord> ranking(input.words.size());
  for (size_t i = 0; i < ranking.size(); ++i) {
    const double a = cells[i]->withWord;
    double score = a;
    if (measure != FeatureMeasure::kCategoryFrequency) {
      const int64_t df = input.documentFrequencies[i];
      const double b = static_cast<double>(df) - a;
      const double c = cells[i]->withoutWord;
      const double d = static_cast<double>(int64_t{rangeSize} - df) - c;
      switch (measure) {
        case FeatureMeasure::kChiSquare:
          score = chiSquare(a, b, c, d);
          break;
        case FeatureMeasure::kInformationGain:
          score = informationGain(a, b, c, d);
          break;
        case FeatureMeasure::kMutualInformation:
          score = mutualInformation(a, b, c, d);
          break;
        case FeatureMeasure::kCategoryFrequency:
          break;
      }
    }
    ranking[i] = {input.words[i], score};
  }

  // Not-a-number scores compare false both ways, which would leave them anywhere; they go last.
  const auto numbers = std::stable_partition(
      ranking.begin(), ranking.end(), [](const ScoredWord& x) { return !std::isnan(x.score); });
  const size_t finite = static_cast<size_t>(numbers - ranking.begin());
  if (limit < finite) {
    // The stable order is the order of (score descending, position ascending), a strict total
    // order on the finite part, so a partial sort on it yields exactly the stable sort's top.
    std::vector<std::pair<double, uint32_t>> keyed(finite);
    for (size_t i = 0; i < finite; ++i) keyed[i] = {ranking[i].score, static_cast<uint32_t>(i)};
    std::partial_sort(keyed.begin(), keyed.begin() + static_cast<ptrdiff_t>(limit), keyed.end(),
                      [](const auto& x, const auto& y) {
                        return x.first > y.first || (!(y.first > x.first) && x.second < y.second);
                      });
    std::vector<ScoredWord> top(limit);
    for (size_t i = 0; i < limit; ++i) top[i] = ranking[keyed[i].second];
    return top;
  }
  std::stable_sort(ranking.begin(), numbers,
                   [](const ScoredWord& x, const ScoredWord& y) { return x.score > y.score; });
  if (limit < ranking.size()) ranking.resize(limit);
  return ranking;
}

void printCategoryRankingTime(Console& console, const std::string& category, double seconds) {
  static const std::string kPrefix = gbk("为类别");
  // "共用了" here, "共有了" in the selection's total: both kept exactly, as scripts match them.
  static const std::string kSuffix = gbk("遴选特征词共用了");
  console.timingLine(kPrefix + category + kSuffix, seconds);
}

FeatureRanking toFeatureRanking(const std::vector<ScoredWord>& ranking) {
  FeatureRanking words;
  words.reserve(ranking.size());
  for (const ScoredWord& entry : ranking) words.emplace_back(*entry.word, entry.score);
  return words;
}

}  // namespace newsclass
