// The text form of one weight in the vector files: printf's %g (six significant digits) for
// writing, and the exact value strtod gives for reading. Both run once per weight over files of
// tens of millions of weights, so each has a short exact path for the common case and falls back
// to std::to_chars / the shared token parser for the rest.
#ifndef NEWSCLASS_VSM_WEIGHT_TEXT_H_
#define NEWSCLASS_VSM_WEIGHT_TEXT_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace newsclass {

// The largest k for which 10^k is an exact double.
constexpr int kMaxExactPowerOfTen = 22;
// value * 10^k correctly rounded, as strtod rounds the decimal when value is an integer below
// 2^53: one multiplication or division of exact doubles. For |k| <= kMaxExactPowerOfTen.
double scaleByPowerOfTen(double value, int k);

// Room formatWeight needs: "-1.23457e-308" is the longest form.
constexpr size_t kWeightTextCapacity = 32;

// Writes `value` as snprintf("%g") does in the "C" locale (six significant digits, exponent of at
// least two digits, trailing zeros and point dropped, "inf"/"nan" for those) into `out`, which
// has kWeightTextCapacity bytes, and returns the end of the text. The bytes equal snprintf's for
// every double.
char* formatWeight(double value, char* out);

// The decimal formatWeight writes for a finite value: its six significant digits (100000 to
// 999999; 0 for a zero) and the decimal exponent of the first digit, so that the text stands for
// digits * 10^(exponent - 5). Nothing for infinities and NaN.
struct WrittenDecimal {
  uint32_t digits = 0;
  int exponent = 0;
  bool negative = false;
};
std::optional<WrittenDecimal> writtenDecimal(double value);

// formatWeight with a memory of recent values. The weights of one TF-IDF vector repeat a few
// values (every keyword the article lacks weighs 0.5 * idf / length), so most calls copy a text
// formatted before. Writes up to 16 bytes past the returned end; `out` needs
// kWeightTextCapacity bytes.
class CachedWeightFormatter {
 public:
  char* format(double value, char* out) {
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    Entry& entry = entries_[(bits * 0x9E3779B97F4A7C15u) >> (64 - kIndexBits)];
    if (entry.length == 0 || entry.bits != bits) {
      entry.bits = bits;
      entry.length = static_cast<uint8_t>(formatWeight(value, entry.text) - entry.text);
    }
    std::memcpy(out, entry.text, 16);  // no text is longer than 13 bytes
    return out + entry.length;
  }

 private:
  static constexpr int kIndexBits = 10;
  struct Entry {
    uint64_t bits = 0;
    uint8_t length = 0;
    char text[kWeightTextCapacity];
  };
  Entry entries_[1 << kIndexBits];
};

// parseDoubleToken's result for `token` (same accepted forms, same value as strtod, bit for bit),
// faster for tokens of at most 19 significant digits whose value is an exact product or quotient
// of two doubles.
std::optional<double> parseWeightToken(std::string_view token);

// parseWeightToken with a memory of recent token texts, for the same reason as
// CachedWeightFormatter: a vector file repeats a few weight texts within each vector. `token`
// must be followed by at least 16 readable bytes (FileTokenStream guarantees this).
class CachedWeightParser {
 public:
  std::optional<double> parse(std::string_view token) {
    const size_t length = token.size();
    if (length > 16 || length == 0) return parseWeightToken(token);
    uint64_t low, high;
    std::memcpy(&low, token.data(), 8);
    std::memcpy(&high, token.data() + 8, 8);
    // Keep the token's own bytes (the first byte of a word is its lowest).
    if (length < 8) {
      low &= (uint64_t{1} << (8 * length)) - 1;
      high = 0;
    } else if (length < 16) {
      high &= (uint64_t{1} << (8 * (length - 8))) - 1;
    }
    Entry& entry =
        entries_[((low ^ (high * 31) ^ length) * 0x9E3779B97F4A7C15u) >> (64 - kIndexBits)];
    if (entry.length == length && entry.low == low && entry.high == high) return entry.value;
    const std::optional<double> value = parseWeightToken(token);
    if (value) entry = Entry{low, high, *value, static_cast<uint8_t>(length)};
    return value;
  }

 private:
  static constexpr int kIndexBits = 10;
  struct Entry {
    uint64_t low = 0;
    uint64_t high = 0;
    double value = 0;
    uint8_t length = 0;  // 0: empty
  };
  Entry entries_[1 << kIndexBits];
};

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_WEIGHT_TEXT_H_
