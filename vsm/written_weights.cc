#include "vsm/written_weights.h"

#include <vector>

#include "base/parallel.h"

namespace newsclass::vsm {

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
