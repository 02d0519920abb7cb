// The weights a vector file gives back: each weight as the vector files write it (six
// significant digits) and read again, exactly as a later load of the file reads it.
// Whoever classifies vectors it built in memory (pipeline, predict) classifies these values, so
// that its answers are those of classify over the files, rounding ties included.
#ifndef NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_
#define NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_

#include <bit>
#include <cstdint>
#include <memory>

#include "vsm/vsm_model.h"

namespace newsclass::vsm {

// Rounds weights as the vector files write them, through the six-digit decimal of each
// (vsm/weight_code.h) rather than its text: the same double, without making and reading text.
// Remembers recent values, which a vector repeats. One per thread.
class WrittenWeightRounder {
 public:
  // What parseWeightToken gives for formatWeight's text of `value`. Finite values only (the
  // files hold no other).
  double round(double value) {
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    Entry& entry = entries_[(bits * 0x9E3779B97F4A7C15u) >> (64 - kIndexBits)];
    if (!entry.filled || entry.bits != bits) entry = Entry{bits, roundOnce(value), true};
    return entry.rounded;
  }
  void roundInPlace(WeightVector& weights) {
    for (double& weight : weights) weight = round(weight);
  }

 private:
  static double roundOnce(double value);
  static constexpr int kIndexBits = 12;
  struct Entry {
    uint64_t bits = 0;
    double rounded = 0.0;
    bool filled = false;
  };
  std::unique_ptr<Entry[]> entries_ = std::make_unique<Entry[]>(1 << kIndexBits);
};

// Every weight of `model` replaced by its written value, on `threads` threads.
void roundModelAsWritten(VsmModel& model, int threads);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_WRITTEN_WEIGHTS_H_
