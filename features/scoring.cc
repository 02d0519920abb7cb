// The feature scores of a word for a category, from its 2x2 table of article counts
//
//                     in the category   not in it
//   contains the word        A              B
//   does not contain         C              D
//
// and the per-category rankings of every dictionary word by one of them.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/stage_clock.h"
#include "features/word_ranking.h"

namespace newsclass {
namespace {

// One cell's share of the expected mutual information; a cell without articles adds nothing.
double informationTerm(double x, double total, double rowSum, double columnSum) {
  if (!(x > 0)) return 0.0;
  return (x / total) * std::log(total * x / (rowSum * columnSum));
}

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

double CorpusProcessor::chiSquare(double a, double b, double c, double d) const {
  const double total = a + b + c + d;
  const double difference = a * d - b * c;
  return total * (difference * difference) / ((a + c) * (a + b) * (b + d) * (c + d));
}

double CorpusProcessor::informationGain(double a, double b, double c, double d) const {
  const double total = a + b + c + d;
  double sum = 0.0;
  sum += informationTerm(a, total, a + b, a + c);
  sum += informationTerm(b, total, a + b, b + d);
  sum += informationTerm(c, total, c + d, a + c);
  sum += informationTerm(d, total, c + d, b + d);
  return sum;
}

double CorpusProcessor::mutualInformation(double a, double b, double c, double d) const {
  if (!(a > 0)) return 0.0;
  const double total = a + b + c + d;
  return std::log(total) + std::log(a) - std::log(a + b) - std::log(a + c);
}

std::vector<ScoredWord> rankWords(CorpusProcessor& processor, FeatureMeasure measure,
                                  const Dictionary& dictionary, ContingencyTable& table,
                                  const std::string& category) {
  static const std::string kTimingPrefix = gbk("为类别");
  static const std::string kTimingSuffix = gbk("遴选特征词共用了");
  const StageClock clock;
  const int64_t rangeSize = processor.rangeSize();

  std::vector<ScoredWord> ranking;
  ranking.reserve(dictionary.size());
  auto cell = table.begin();
  for (const auto& [word, postings] : dictionary) {
    const ContingencyCell& counts = cellAt(table, cell, word, category);
    const double a = counts.withWord;
    double score = 0.0;
    if (measure == FeatureMeasure::kCategoryFrequency) {
      score = a;
    } else {
      const int64_t df = static_cast<int64_t>(postings.size());
      const double b = static_cast<double>(df) - a;
      const double c = counts.withoutWord;
      const double d = static_cast<double>(rangeSize - df) - c;
      switch (measure) {
        case FeatureMeasure::kChiSquare:
          score = processor.chiSquare(a, b, c, d);
          break;
        case FeatureMeasure::kInformationGain:
          score = processor.informationGain(a, b, c, d);
          break;
        case FeatureMeasure::kMutualInformation:
          score = processor.mutualInformation(a, b, c, d);
          break;
        case FeatureMeasure::kCategoryFrequency:
          break;
      }
    }
    ranking.push_back({&word, score});
  }

  // Not-a-number scores compare false both ways, which would leave them anywhere; they go last.
  const auto numbers = std::stable_partition(
      ranking.begin(), ranking.end(), [](const ScoredWord& x) { return !std::isnan(x.score); });
  std::stable_sort(ranking.begin(), numbers,
                   [](const ScoredWord& x, const ScoredWord& y) { return x.score > y.score; });

  if (measure == FeatureMeasure::kCategoryFrequency) {
    processor.console().timingLine(kTimingPrefix + category + kTimingSuffix,
                                   clock.elapsedSeconds());
  }
  return ranking;
}

FeatureRanking toFeatureRanking(const std::vector<ScoredWord>& ranking) {
  FeatureRanking words;
  words.reserve(ranking.size());
  for (const ScoredWord& entry : ranking) words.emplace_back(*entry.word, entry.score);
  return words;
}

FeatureRanking CorpusProcessor::rankByChiSquare(const Dictionary& dictionary,
                                                ContingencyTable& table, std::string category) {
  return toFeatureRanking(
      rankWords(*this, FeatureMeasure::kChiSquare, dictionary, table, category));
}

FeatureRanking CorpusProcessor::rankByInformationGain(const Dictionary& dictionary,
                                                      ContingencyTable& table,
                                                      std::string category) {
  return toFeatureRanking(
      rankWords(*this, FeatureMeasure::kInformationGain, dictionary, table, category));
}

FeatureRanking CorpusProcessor::rankByMutualInformation(const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        std::string category) {
  return toFeatureRanking(
      rankWords(*this, FeatureMeasure::kMutualInformation, dictionary, table, category));
}

FeatureRanking CorpusProcessor::rankByCategoryFrequency(const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        std::string category) {
  return toFeatureRanking(
      rankWords(*this, FeatureMeasure::kCategoryFrequency, dictionary, table, category));
}

}  // namespace newsclass
