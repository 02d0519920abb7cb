// The weights a vector file gives back: each weight as the vector files write it (six
// significant digits) and read again, exactly as a later load of the file reads it.
// Whoever classifies vectors it built in memory (pipeline, predict) classifies these values, so
// that its answers are those of classify over the files, rounding ties included.
#ifndef NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_
#define NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_

#include "vsm/vsm_model.h"
#include "vsm/weight_code.h"

namespace newsclass::vsm {

// Rounds weights as the vector files write them, through the six-digit decimal of each
// (vsm/weight_code.h) rather than its text: the same double, without making and reading text.
// Remembers recent values, which a vector repeats. One per thread.
class WrittenWeightRounder {
 public:
  // What parseWeightToken gives for formatWeight's text of `value`. Finite values only (the
  // files hold no other).
  double round(double value) { return encoder_.encode(value)->weight; }
  void roundInPlace(WeightVector& weights) {
    for (double& weight : weights) weight = round(weight);
  }

 private:
  CachedWeightEncoder encoder_;
};

// Every weight of `model` replaced by its written value, on `threads` threads.
void roundModelAsWritten(VsmModel& model, int threads);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_
