#include "vsm/weight_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/text_file_reader.h"

namespace newsclass {
namespace {

std::string viaPrintf(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string viaFormatWeight(double value) {
  char text[kWeightTextCapacity];
  return std::string(text, formatWeight(value, text));
}

TEST(FormatWeightTest, EdgeValuesGivePrintfBytes) {
  const double values[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           1e-05,
                           0.0001,
                           0.00001234565,
                           123456,
                           1234567,
                           999999.5,
                           9999995,
                           999999.4999,
                           0.1234565,
                           2.5e-5,
                           std::nextafter(2.5e-5, 1.0),
                           std::nextafter(2.5e-5, 0.0),
                           1e+100,
                           DBL_MAX,
                           -DBL_MAX,
                           DBL_MIN,
                           4.9e-324,
                           -4.9e-324,
                           2.2250738585072009e-308,
                           0.5,
                           0.941742,
                           0.336336,
                           1e-17,
                           9.999995e-18,
                           1e27,
                           9.999995e26,
                           1e22,
                           123456.5,
                           1234565,
                           0.000123456,
                           99999.95,
                           0.99999949999,
                           0.9999995,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  for (double value : values) {
    EXPECT_EQ(viaFormatWeight(value), viaPrintf(value)) << std::bit_cast<uint64_t>(value);
  }
  // Spelled out, so that a shared fault of printf and the formatter would show as well.
  EXPECT_EQ(viaFormatWeight(-0.0), "-0");
  EXPECT_EQ(viaFormatWeight(1234567), "1.23457e+06");
  EXPECT_EQ(viaFormatWeight(999999.5), "1e+06");
  // The double nearest 0.00001234565 lies below the tie.
  EXPECT_EQ(viaFormatWeight(0.00001234565), "1.23456e-05");
  EXPECT_EQ(viaFormatWeight(1e+100), "1e+100");
  EXPECT_EQ(viaFormatWeight(0.0001), "0.0001");
  EXPECT_EQ(viaFormatWeight(-0.25), "-0.25");
}

TEST(FormatWeightTest, EveryPowerOfTenAndItsNeighbours) {
  for (int e = -320; e <= 308; ++e) {
    const double power = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
    for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, INFINITY),
                         power * 0.9999995, power * 9.999995, power * 1.000005}) {
      ASSERT_EQ(viaFormatWeight(value), viaPrintf(value)) << std::bit_cast<uint64_t>(value);
    }
  }
}

TEST(FormatWeightTest, DecimalTiesAndTheirNeighbours) {
  // Values whose seventh significant digit is a 5 and nothing follows in the decimal text: the
  // nearest double lies just above or below the tie, or on it.
  std::mt19937_64 random(3);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t digits = 1000000 + random() % 9000000;
    const int exponent = static_cast<int>(random() % 40) - 25;
    char text[40];
    std::snprintf(text, sizeof text, "%llu5e%d", static_cast<unsigned long long>(digits / 10),
                  exponent);
    const double tie = std::strtod(text, nullptr);
    for (double value : {tie, std::nextafter(tie, 0.0), std::nextafter(tie, INFINITY)}) {
      ASSERT_EQ(viaFormatWeight(value), viaPrintf(value)) << text;
    }
  }
}

TEST(FormatWeightTest, MillionsOfRandomDoublesGivePrintfBytes) {
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  char mine[kWeightTextCapacity];
  char theirs[64];
  for (int i = 0; i < 3000000; ++i) {
    const double bits = std::bit_cast<double>(random());
    const double small = unit(random);
    for (double value : {bits, small, -small * 1e-3}) {
      char* end = formatWeight(value, mine);
      const int length = std::snprintf(theirs, sizeof theirs, "%g", value);
      ASSERT_EQ(std::string(mine, end), std::string(theirs, static_cast<size_t>(length)))
          << std::bit_cast<uint64_t>(value);
    }
  }
}

TEST(CachedWeightFormatterTest, RepeatedAndCollidingValuesGiveTheirOwnText) {
  // Few distinct values, so that most calls are served from memory, mixed with fresh ones that
  // evict them; -0.0 and 0.0 share a hash slot pattern but not their text.
  std::mt19937_64 random(29);
  std::vector<double> few;
  for (int i = 0; i < 50; ++i) few.push_back(std::bit_cast<double>(random()));
  few.push_back(0.0);
  few.push_back(-0.0);
  auto formatter = std::make_unique<CachedWeightFormatter>();
  char text[kWeightTextCapacity];
  for (int i = 0; i < 300000; ++i) {
    const double value = i % 4 == 0 ? std::bit_cast<double>(random()) : few[random() % few.size()];
    const std::string mine(text, formatter->format(value, text));
    ASSERT_EQ(mine, viaPrintf(value)) << std::bit_cast<uint64_t>(value);
  }
}

double viaStrtod(const std::string& token) { return std::strtod(token.c_str(), nullptr); }

TEST(ParseWeightTokenTest, GivesStrtodBitsForTheFormsOtherProgramsWrite) {
  for (const std::string token : {"0",
                                  "-0",
                                  "+0",
                                  "0.5",
                                  "1e-006",
                                  "+2.5E+000",
                                  "-1.23457e+06",
                                  "0.941742",
                                  "1.",
                                  ".5",
                                  "000123.4500",
                                  "9007199254740993",
                                  "9007199254740992",
                                  "12345678901234567890123",
                                  "0.1000000000000000055511151231257827021181583404541015625",
                                  "1e22",
                                  "1e23",
                                  "1e-22",
                                  "1e-23",
                                  "123456789012345678e-10",
                                  "4.94066e-324",
                                  "1e-400",
                                  "2.2250738585072011e-308",
                                  "1.7976931348623157e308",
                                  "1E5",
                                  "3e0",
                                  "0e999",
                                  "-0.0e-5",
                                  "7.e2",
                                  "1e+0022"}) {
    const std::optional<double> value = parseWeightToken(token);
    ASSERT_TRUE(value.has_value()) << token;
    EXPECT_EQ(std::bit_cast<uint64_t>(*value), std::bit_cast<uint64_t>(viaStrtod(token))) << token;
  }
}

TEST(ParseWeightTokenTest, RefusesWhatParseDoubleTokenRefuses) {
  for (const std::string token : {"", "+", "-", ".", "e5", "1e", "1e+", "1e-", "x", "1x", "1.5.2",
                                  "--1", "+-1", "-+1", "1e5x", "0x10", "1,5", "1 2"}) {
    EXPECT_EQ(parseWeightToken(token), std::nullopt) << token;
  }
  // Infinite and undefined values parse; the vector file refuses them as not finite.
  EXPECT_TRUE(std::isinf(*parseWeightToken("-inf")));
  EXPECT_TRUE(std::isnan(*parseWeightToken("nan")));
  EXPECT_TRUE(std::isinf(*parseWeightToken("1e400")));
  EXPECT_TRUE(std::isinf(*parseWeightToken("1e99999999999")));
  EXPECT_EQ(*parseWeightToken("-1e-99999999999"), 0.0);
}

TEST(ParseWeightTokenTest, RoundTripsRandomTextsBitForBit) {
  std::mt19937_64 random(23);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  char text[64];
  for (int i = 0; i < 1000000; ++i) {
    const double value = i % 2 ? unit(random) : std::bit_cast<double>(random());
    const char* format = i % 3 == 0 ? "%g" : (i % 3 == 1 ? "%.17g" : "%.15e");
    const int length = std::snprintf(text, sizeof text, format, value);
    const std::optional<double> parsed =
        parseWeightToken(std::string_view(text, static_cast<size_t>(length)));
    ASSERT_TRUE(parsed.has_value()) << text;
    if (std::isnan(value)) continue;
    ASSERT_EQ(std::bit_cast<uint64_t>(*parsed), std::bit_cast<uint64_t>(std::strtod(text, nullptr)))
        << text;
  }
}

TEST(CachedWeightParserTest, AgreesWithTheTokenParserOnRepeatedAndNearlyEqualTexts) {
  // Texts that differ only in length, in a trailing NUL or in their 9th to 16th byte, repeated so
  // that most are served from memory, each followed by the padding the parser may read.
  std::vector<std::string> texts = {"0",
                                    "-0",
                                    "0.5",
                                    "0.50",
                                    std::string("0.5\0", 4),
                                    "0.12345678",
                                    "0.123456789",
                                    "0.1234567800000001",
                                    "0.1234567800000002",
                                    "1e-06",
                                    "1e-006",
                                    "x",
                                    "nan",
                                    "12345678901234567"};
  std::mt19937_64 random(31);
  for (int i = 0; i < 40; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", std::bit_cast<double>(random()));
    texts.push_back(text);
  }
  std::string buffer;
  std::vector<std::pair<size_t, size_t>> tokens;
  for (int i = 0; i < 20000; ++i) {
    const std::string& text = texts[random() % texts.size()];
    tokens.emplace_back(buffer.size(), text.size());
    buffer += text;
    buffer += ' ';
  }
  buffer.append(16, '\0');
  auto parser = std::make_unique<CachedWeightParser>();
  for (const auto& [offset, length] : tokens) {
    const std::string_view token(buffer.data() + offset, length);
    const std::optional<double> expected = parseDoubleToken(token);
    const std::optional<double> actual = parser->parse(token);
    ASSERT_EQ(actual.has_value(), expected.has_value()) << token;
    if (expected && !std::isnan(*expected)) {
      ASSERT_EQ(std::bit_cast<uint64_t>(*actual), std::bit_cast<uint64_t>(*expected)) << token;
    }
  }
}

}  // namespace
}  // namespace newsclass
