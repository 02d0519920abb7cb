#include "vsm/written_weights.h"

#include <string_view>
#include <vector>

#include "base/parallel.h"

namespace newsclass::vsm {

WrittenWeightRounder::WrittenWeightRounder()
    : formatter_(std::make_unique<CachedWeightFormatter>()),
      parser_(std::make_unique<CachedWeightParser>()) {}

double WrittenWeightRounder::round(double value) {
  // Zeroed room past the text: the parser's memory reads 16 bytes from the token's start.
  char text[kWeightTextCapacity + 16] = {};
  const char* end = formatter_->format(value, text);
  return *parser_->parse(std::string_view(text, static_cast<size_t>(end - text)));
}

void roundModelAsWritten(VsmModel& model, int threads) {
  std::vector<WeightVector*> vectors;
  vectors.reserve(model.size());
  for (auto& entry : model) vectors.push_back(&entry.second);
  const size_t lanes = static_cast<size_t>(threads < 1 ? 1 : threads);
  std::vector<WrittenWeightRounder> rounders(lanes);
  runInParallel(threads, vectors.size(),
                [&](size_t i, size_t lane) { rounders[lane].roundInPlace(*vectors[i]); });
}

}  // namespace newsclass::vsm
