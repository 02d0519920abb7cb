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
#include <optional>

namespace newsclass::vsm {

// The code of `value` as written; nothing for infinities and NaN, which no vector file holds.
std::optional<uint32_t> encodeWrittenWeight(double value);

// The weight a code stands for; nothing for a code no writer makes (m above 999999, or a
// decimal beyond the doubles' range).
std::optional<double> decodeWeight(uint32_t code);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_WEIGHT_CODE_H_
