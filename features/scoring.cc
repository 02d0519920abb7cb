// The processor's feature-scoring operations, each a thin adapter over the free measures and
// rankings that the selection stages use.
#include <string>

#include "base/stage_clock.h"
#include "features/measures.h"
#include "features/word_ranking.h"
#include "processor/corpus_processor.h"

namespace newsclass {
namespace {

FeatureRanking rankOneCategory(const CorpusProcessor& processor, FeatureMeasure measure,
                               const Dictionary& dictionary, ContingencyTable& table,
                               const std::string& category) {
  const RankingInput input = gatherRankingInput(dictionary, table, {category});
  return toFeatureRanking(rankWords(measure, input, category, processor.rangeSize()));
}

}  // namespace

double CorpusProcessor::chiSquare(double a, double b, double c, double d) const {
  return newsclass::chiSquare(a, b, c, d);
}

double CorpusProcessor::informationGain(double a, double b, double c, double d) const {
  return newsclass::informationGain(a, b, c, d);
}

double CorpusProcessor::mutualInformation(double a, double b, double c, double d) const {
  return newsclass::mutualInformation(a, b, c, d);
}

FeatureRanking CorpusProcessor::rankByChiSquare(const Dictionary& dictionary,
                                                ContingencyTable& table, std::string category) {
  return rankOneCategory(*this, FeatureMeasure::kChiSquare, dictionary, table, category);
}

FeatureRanking CorpusProcessor::rankByInformationGain(const Dictionary& dictionary,
                                                      ContingencyTable& table,
                                                      std::string category) {
  return rankOneCategory(*this, FeatureMeasure::kInformationGain, dictionary, table, category);
}

FeatureRanking CorpusProcessor::rankByMutualInformation(const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        std::string category) {
  return rankOneCategory(*this, FeatureMeasure::kMutualInformation, dictionary, table, category);
}

FeatureRanking CorpusProcessor::rankByCategoryFrequency(const Dictionary& dictionary,
                                                        ContingencyTable& table,
                                                        std::string category) {
  const StageClock clock;
  FeatureRanking ranking =
      rankOneCategory(*this, FeatureMeasure::kCategoryFrequency, dictionary, table, category);
  printCategoryRankingTime(console(), category, clock.elapsedSeconds());
  return ranking;
}

}  // namespace newsclass
