#include "vsm/weight_code.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <string>

#include "vsm/weight_text.h"

namespace newsclass::vsm {
namespace {

constexpr int kExponentBias = 1024;
constexpr uint32_t kMaxMantissa = 999999;

}  // namespace

std::optional<uint32_t> encodeWrittenWeight(double value) {
  const std::optional<WrittenDecimal> decimal = writtenDecimal(value);
  if (!decimal) return std::nullopt;
  uint32_t mantissa = decimal->digits;
  int exponent = decimal->exponent - 5;
  if (mantissa == 0) {
    exponent = 0;
  } else {
    while (mantissa % 10 == 0) {
      mantissa /= 10;
      ++exponent;
    }
  }
  return (decimal->negative ? 0x80000000u : 0u) |
         (static_cast<uint32_t>(exponent + kExponentBias) << 20) | mantissa;
}

std::optional<CachedWeightEncoder::Coded> CachedWeightEncoder::encode(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  Entry& entry = entries_[(bits * 0x9E3779B97F4A7C15u) >> (64 - kIndexBits)];
  if (entry.filled && entry.bits == bits) return entry.coded;
  const std::optional<uint32_t> code = encodeWrittenWeight(value);
  if (!code) return std::nullopt;
  entry = Entry{bits, Coded{*code, *decodeWeight(*code)}, true};
  return entry.coded;
}

std::optional<double> decodeWeight(uint32_t code) {
  const uint32_t mantissa = code & 0xFFFFF;
  const int exponent = static_cast<int>((code >> 20) & 0x7FF) - kExponentBias;
  const bool negative = (code & 0x80000000u) != 0;
  if (mantissa > kMaxMantissa) return std::nullopt;
  double magnitude = 0.0;
  if (mantissa == 0) {
    magnitude = 0.0;
  } else if (exponent >= -kMaxExactPowerOfTen && exponent <= kMaxExactPowerOfTen) {
    // Both factors are exact doubles: one correctly rounded multiplication or division, the
    // value strtod gives the decimal.
    magnitude = scaleByPowerOfTen(static_cast<double>(mantissa), exponent);
  } else {
    const std::string text = std::to_string(mantissa) + "e" + std::to_string(exponent);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    // from_chars refuses a decimal out of range; below the smallest double it gives 0, which no
    // writer codes with a nonzero mantissa.
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  }
  if (!std::isfinite(magnitude) || (magnitude == 0.0 && mantissa != 0)) return std::nullopt;
  return negative ? -magnitude : magnitude;
}

}  // namespace newsclass::vsm
