#include "vsm/weight_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/text_file_reader.h"

namespace newsclass {
namespace {

// Every power of ten a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = kMaxExactPowerOfTen;

char* formatExactly(double value, char* out) {
  return std::to_chars(out, out + kWeightTextCapacity, value, std::chars_format::general, 6).ptr;
}


constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Six digits 100000..999999 and the decimal exponent of the first, laid out as %g lays them out.
char* writeDigits(uint32_t digits, int exponent, bool negative, char* out) {
  char text[8];
  const uint32_t high = digits / 10000;  // two digits each
  const uint32_t middle = digits / 100 % 100;
  const uint32_t low = digits % 100;
  std::memcpy(text, kDigitPairs + 2 * high, 2);
  std::memcpy(text + 2, kDigitPairs + 2 * middle, 2);
  std::memcpy(text + 4, kDigitPairs + 2 * low, 2);
  int last = 5;  // the last digit kept once trailing zeros go
  while (last > 0 && text[last] == '0') --last;
  if (negative) *out++ = '-';
  if (exponent < 0 && exponent >= -4) {
    // 0.000ddddd: the zeros are written in one go and the digits after them.
    std::memcpy(out, "0.0000", 6);
    out += 1 - exponent;
    std::memcpy(out, text, 6);
    return out + last + 1;
  }
  if (exponent < -4 || exponent >= 6) {
    *out++ = text[0];
    if (last > 0) {
      *out++ = '.';
      std::memcpy(out, text + 1, 5);
      out += last;
    }
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    unsigned magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
    if (magnitude >= 100) {
      *out++ = static_cast<char>('0' + magnitude / 100);
      magnitude %= 100;
    }
    std::memcpy(out, kDigitPairs + 2 * magnitude, 2);
    return out + 2;
  }
  const int whole = exponent + 1;  // digits before the point
  std::memcpy(out, text, 6);
  out += whole;
  if (last >= whole) {
    *out = '.';
    // Only the digits after the point: text holds six.
    std::memcpy(out + 1, text + whole, static_cast<size_t>(6 - whole));
    out += last + 2 - whole;
  }
  return out;
}

}  // namespace

double scaleByPowerOfTen(double value, int k) {
  return k >= 0 ? value * kExactPowers[k] : value / kExactPowers[-k];
}

// The six digits of a nonzero normal value are round(|value| * 10^(5 - e)) for its decimal
// exponent e. When 10^(5 - e) is an exact double, the scaled value s is off the exact product by
// at most half an ulp of s (2^-34 below 2^20), so rounding s gives the digits of the exact product
// unless s lies that close to a half; those rare values, and every value whose scale is not an
// exact power, take std::to_chars's exact path.
namespace {

// The fast path's six digits and exponent of a value in [1e-17, 1e27); false where the exact
// path must decide.
bool fastSixDigits(double magnitude, uint32_t& digits, int& decimalExponent) {
  // magnitude in [2^b, 2^(b+1)); floor(b * log10(2)) is its decimal exponent or one less.
  const int binaryExponent =
      static_cast<int>((std::bit_cast<uint64_t>(magnitude) >> 52) & 0x7ff) - 1023;
  int exponent = (binaryExponent * 78913) >> 18;
  double scaled = 0;
  for (int attempt = 0;; ++attempt) {
    const int k = 5 - exponent;
    if (k > kMaxExactPower || k < -kMaxExactPower || attempt == 2) return false;
    scaled = scaleByPowerOfTen(magnitude, k);
    if (scaled >= 1e6) {
      ++exponent;
    } else if (scaled < 1e5) {
      --exponent;
    } else {
      break;
    }
  }
  const uint32_t whole = static_cast<uint32_t>(scaled);  // scaled is positive: truncation floors
  const double fraction = scaled - whole;                // exact: both below 2^20
  constexpr double kMargin = 0x1p-32;                    // twice the largest error of `scaled`
  if (std::fabs(fraction - 0.5) <= kMargin) return false;
  digits = whole + (fraction > 0.5 ? 1 : 0);
  if (digits == 1000000) {
    digits = 100000;
    ++exponent;
  }
  decimalExponent = exponent;
  return true;
}

}  // namespace

std::optional<WrittenDecimal> writtenDecimal(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  WrittenDecimal decimal;
  decimal.negative = std::signbit(value);
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0) return decimal;
  if (magnitude >= 1e-17 && magnitude < 1e27 &&
      fastSixDigits(magnitude, decimal.digits, decimal.exponent)) {
    return decimal;
  }
  // The exact path's text, read back: "d[.ddddd]e±XX" or a plain "ddd.ddd".
  char text[kWeightTextCapacity];
  const char* end = formatExactly(magnitude, text);
  uint32_t digits = 0;
  int count = 0;           // significant digits read
  int pointAfter = -1;     // digits read (leading zeros included) before the point
  int leadingZeros = 0;    // zeros before the first significant digit, after the point
  int read = 0;
  const char* p = text;
  for (; p < end && *p != 'e'; ++p) {
    if (*p == '.') {
      pointAfter = read;
      continue;
    }
    ++read;
    if (count == 0 && *p == '0') {
      if (pointAfter >= 0) ++leadingZeros;
      continue;
    }
    digits = digits * 10 + static_cast<uint32_t>(*p - '0');
    ++count;
  }
  int exponent = 0;
  if (p < end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  if (pointAfter < 0) pointAfter = read;
  // The first significant digit's place: before the point (whole digits) or after the zeros.
  const int wholeDigits = pointAfter - (pointAfter > 0 && text[0] == '0' ? 1 : 0);
  decimal.exponent = exponent + (wholeDigits > 0 ? wholeDigits - 1 : -1 - leadingZeros);
  for (; count < 6; ++count) digits *= 10;
  decimal.digits = digits;
  return decimal;
}

char* formatWeight(double value, char* out) {
  const double magnitude = std::fabs(value);
  uint32_t digits = 0;
  int exponent = 0;
  if (!(magnitude >= 1e-17 && magnitude < 1e27) || !fastSixDigits(magnitude, digits, exponent)) {
    return formatExactly(value, out);
  }
  return writeDigits(digits, exponent, std::signbit(value), out);
}

namespace {

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Whether the 8 bytes at `p` are all ASCII digits, and their value.
bool eightDigits(const char* p, uint32_t& value) {
  uint64_t bytes;
  std::memcpy(&bytes, p, 8);
  if (((bytes & 0xF0F0F0F0F0F0F0F0u) |
       (((bytes + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) != 0x3333333333333333u) {
    return false;
  }
  // The first character sits in the lowest byte: combine neighbours into pairs, pairs into
  // fours, fours into the whole.
  bytes -= 0x3030303030303030u;
  bytes = bytes * 10 + (bytes >> 8);
  bytes = (((bytes & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
           (((bytes >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
          32;
  value = static_cast<uint32_t>(bytes);
  return true;
}

}  // namespace

// Clinger's fast path: a decimal mantissa below 2^53 is an exact double, and so is 10^|e| for
// |e| <= 22, so one multiplication or division rounds the exact quotient once, as strtod does.
std::optional<double> parseWeightToken(std::string_view token) {
  const char* p = token.data();
  const char* const end = p + token.size();
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) {
    negative = *p == '-';
    ++p;
  }
  // Leading zeros add nothing to the mantissa; every digit after them counts as significant.
  const char* const mantissaStart = p;
  while (p < end && *p == '0') ++p;
  uint64_t mantissa = 0;
  int significant = 0;
  for (; p < end && isDigit(*p); ++p, ++significant) mantissa = mantissa * 10 + (*p - '0');
  int fractionDigits = 0;
  bool hasPoint = false;
  if (p < end && *p == '.') {
    hasPoint = true;
    const char* const fractionStart = ++p;
    if (mantissa == 0) {
      while (p < end && *p == '0') ++p;
    }
    uint32_t eight;
    while (end - p >= 8 && significant <= 11 && eightDigits(p, eight)) {
      mantissa = mantissa * 100000000u + eight;
      significant += 8;
      p += 8;
    }
    for (; p < end && isDigit(*p); ++p, ++significant) mantissa = mantissa * 10 + (*p - '0');
    fractionDigits = static_cast<int>(p - fractionStart);
  }
  const int mantissaDigits = static_cast<int>(p - mantissaStart) - (hasPoint ? 1 : 0);
  int exponent = 0;
  bool shortForm = mantissaDigits > 0 && significant <= 19;
  if (shortForm && p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negativeExponent = false;
    if (p < end && (*p == '-' || *p == '+')) {
      negativeExponent = *p == '-';
      ++p;
    }
    const char* digitsStart = p;
    for (; p < end && static_cast<unsigned>(*p - '0') < 10 && exponent < 100000; ++p) {
      exponent = exponent * 10 + (*p - '0');
    }
    if (p == digitsStart) shortForm = false;
    if (negativeExponent) exponent = -exponent;
  }
  if (shortForm && p == end) {
    if (mantissa == 0) return negative ? -0.0 : 0.0;
    const int power = exponent - fractionDigits;
    if (mantissa <= (uint64_t{1} << 53) && power >= -kMaxExactPower && power <= kMaxExactPower) {
      const double value = scaleByPowerOfTen(static_cast<double>(mantissa), power);
      return negative ? -value : value;
    }
  }
  return parseDoubleToken(token);
}

}  // namespace newsclass
