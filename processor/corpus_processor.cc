#include "processor/corpus_processor.h"

#include "base/text_utils.h"

namespace newsclass {

CorpusProcessor::CorpusProcessor(int32_t first, int32_t last, Environment& environment)
    : firstArticleId(first), lastArticleId(last), environment_(&environment) {}

std::string CorpusProcessor::intToString(int32_t value) const { return formatInt(value); }

std::string CorpusProcessor::doubleToString(double value, unsigned n) const {
  return cutDecimals(value, n);
}

}  // namespace newsclass
