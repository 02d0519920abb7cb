// A weight as the vector files write it, in four bytes: the text form keeps six significant
// digits, so the weight it gives back is a decimal m * 10^q with m below 10^6. The binary
// vector files store that decimal, and reading it gives the double reading the text gives, bit
// for bit: the same number, correctly rounded.
//
// Layout of a code: bit 31 the sign, bits 30-20 q + 1024, bits 19-0 m (0 to 999999, without
// trailing zeros; 0 with q = 0 for a zero).
#ifndef NEWSCLASS_VSM_WEIGHT_CODE_H_
#define NEWSCLASS_VSM_WEIGHT_CODE_H_

#include <cstdint>
#include <memory>
#include <optional>

namespace newsclass::vsm {

// The code of `value` as written; nothing for infinities and NaN, which no vector file holds.
std::optional<uint32_t> encodeWrittenWeight(double value);

// encodeWrittenWeight with a memory of recent values: the weights of a vector repeat a few
// values (every keyword an article lacks weighs 0.5 * idf / length under the default
// weighting), and one weight's code costs more than a lookup. Gives the code with the weight it
// stands for. One per thread.
class CachedWeightEncoder {
 public:
  struct Coded {
    uint32_t code;
    double weight;  // decodeWeight(code)
  };
  std::optional<Coded> encode(double value);

 private:
  static constexpr int kIndexBits = 12;
  struct Entry {
    uint64_t bits = 0;
    Coded coded{};
    bool filled = false;
  };
  std::unique_ptr<Entry[]> entries_ = std::make_unique<Entry[]>(1 << kIndexBits);
};

// The weight a code stands for; nothing for a code no writer makes (m above 999999, or a
// decimal beyond the doubles' range).
std::optional<double> decodeWeight(uint32_t code);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_WEIGHT_CODE_H_
