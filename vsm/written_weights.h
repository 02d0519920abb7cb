// The weights a vector file gives back: each weight written with the vector files' formatter
// (six significant digits) and parsed again, exactly as a later load of the file reads it.
// Whoever classifies vectors it built in memory (pipeline, predict) classifies these values, so
// that its answers are those of classify over the files, rounding ties included.
#ifndef NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_
#define NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_

#include <memory>

#include "vsm/vsm_model.h"
#include "vsm/weight_text.h"

namespace newsclass::vsm {

// Rounds weights as the vector files write them, remembering recent values as the file writer
// and reader do. One per thread.
class WrittenWeightRounder {
 public:
  WrittenWeightRounder();
  // formatWeight's text of `value`, parsed by parseWeightToken. Finite values only (the files
  // hold no other).
  double round(double value);
  void roundInPlace(WeightVector& weights) {
    for (double& weight : weights) weight = round(weight);
  }

 private:
  std::unique_ptr<CachedWeightFormatter> formatter_;
  std::unique_ptr<CachedWeightParser> parser_;
};

// Every weight of `model` replaced by its written value, on `threads` threads.
void roundModelAsWritten(VsmModel& model, int threads);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_
