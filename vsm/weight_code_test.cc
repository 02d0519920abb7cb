// The four-byte weight codes give back the doubles the text form gives, bit for bit.
#include "vsm/weight_code.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "vsm/weight_text.h"

namespace newsclass::vsm {
namespace {

std::string textOf(double value) {
  char text[kWeightTextCapacity];
  return std::string(text, formatWeight(value, text));
}

// The weights a code round trip must agree on: random bit patterns over every magnitude, the
// values on both sides of six-digit halves, powers of ten, subnormals and the extremes.
std::vector<double> hardWeights() {
  std::vector<double> values = {0.0,     -0.0,    1.0,      0.5,     1e-5,    123456.5,
                                999999.5, 9999995, 0.1234565, 1e-17, 1e27,    1e-300,
                                5e-324,  std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::min(), 0.999999, 0.9999995};
  std::mt19937_64 random(42);
  for (int i = 0; i < 200000; ++i) {
    const double value = std::bit_cast<double>(random());
    if (std::isfinite(value)) values.push_back(value);
  }
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 200000; ++i) values.push_back(unit(random) * std::pow(10.0, -(i % 12)));
  // Six-digit halves and their neighbours, where rounding is decided by the last bits.
  for (int i = 0; i < 20000; ++i) {
    const double half = (static_cast<double>(100000 + random() % 900000) + 0.5) *
                        std::pow(10.0, static_cast<int>(random() % 40) - 30);
    values.insert(values.end(), {half, std::nextafter(half, 0.0), std::nextafter(half, 1e300)});
  }
  return values;
}

TEST(WeightCodeTest, EveryCodeGivesBackTheDoubleTheTextGivesBack) {
  for (const double value : hardWeights()) {
    const std::optional<uint32_t> code = encodeWrittenWeight(value);
    ASSERT_TRUE(code) << value;
    const std::optional<double> decoded = decodeWeight(*code);
    ASSERT_TRUE(decoded) << textOf(value);
    // The text form's own round trip: formatWeight's text read by parseWeightToken.
    const double written = *parseWeightToken(textOf(value));
    ASSERT_EQ(std::bit_cast<uint64_t>(*decoded), std::bit_cast<uint64_t>(written))
        << textOf(value) << " gave " << textOf(*decoded);
    // A written weight codes to itself: rewriting a file changes nothing.
    ASSERT_EQ(encodeWrittenWeight(written), code) << textOf(value);
  }
}

TEST(WeightCodeTest, DecimalsAreTheSixDigitsTheTextShows) {
  const auto decimal = [](double value) {
    const auto found = writtenDecimal(value);
    return found ? std::to_string(found->negative ? -1 : 1) + " " + std::to_string(found->digits) +
                       " " + std::to_string(found->exponent)
                 : std::string("none");
  };
  EXPECT_EQ(decimal(0.5), "1 500000 -1");
  EXPECT_EQ(decimal(1e-5), "1 100000 -5");
  EXPECT_EQ(decimal(123456.5), "1 123456 5");  // the exact half goes to the even digit
  EXPECT_EQ(decimal(999999.5), "1 100000 6");
  EXPECT_EQ(decimal(-0.0), "-1 0 0");
  EXPECT_EQ(decimal(5e-324), "1 494066 -324");
  EXPECT_EQ(decimal(std::numeric_limits<double>::infinity()), "none");
  EXPECT_EQ(decimal(std::nan("")), "none");
}

TEST(WeightCodeTest, CodesNoWriterMakesAreRefused) {
  EXPECT_EQ(encodeWrittenWeight(0.5), (1024u - 1) << 20 | 5);
  EXPECT_EQ(encodeWrittenWeight(-2.0), 0x80000000u | 1024u << 20 | 2);
  EXPECT_EQ(encodeWrittenWeight(0.0), 1024u << 20);
  EXPECT_FALSE(encodeWrittenWeight(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(decodeWeight(1024u << 20 | 1000000));          // m above 999999
  EXPECT_FALSE(decodeWeight((1024u + 400) << 20 | 1));        // 1e400: beyond the doubles
  EXPECT_FALSE(decodeWeight((1024u - 400) << 20 | 1));        // 1e-400: below them
  EXPECT_EQ(decodeWeight((1024u - 329) << 20 | 494066), 5e-324);
  EXPECT_EQ(std::signbit(*decodeWeight(0x80000000u | 1024u << 20)), true);
}

}  // namespace
}  // namespace newsclass::vsm
