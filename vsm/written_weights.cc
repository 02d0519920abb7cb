#include "vsm/written_weights.h"

#include <vector>

#include "base/parallel.h"
#include "vsm/weight_code.h"

namespace newsclass::vsm {

double WrittenWeightRounder::roundOnce(double value) {
  // The six-digit decimal the text would hold, decoded as reading the text does: no text is
  // made (vsm/weight_code.h).
  return *decodeWeight(*encodeWrittenWeight(value));
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
