#include "vsm/written_weights.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace newsclass::vsm {
namespace {

// What a vector file gives back for `value`: printf's %g text read by strtod.
double throughPrintf(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return std::strtod(text, nullptr);
}

TEST(WrittenWeightRounderTest, GivesWhatPrintfAndStrtodGive) {
  WrittenWeightRounder rounder;
  const double edges[] = {0.0,     -0.0,     1.0,       -1.0,    0.1234565, 0.9999995,
                          1e-05,   9.99999e-05, 0.000123456789, 123456.5, DBL_MIN, DBL_TRUE_MIN,
                          1e-320,  0.408248290463863};
  for (double value : edges) {
    EXPECT_EQ(rounder.round(value), throughPrintf(value)) << value;
    EXPECT_EQ(std::signbit(rounder.round(value)), std::signbit(value)) << value;
  }
  std::mt19937_64 random(21);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    // Repeated values go through the rounder's memory: the same answer as the first time.
    const double value = i % 3 == 0 ? 0.5 / (1 + i % 7) : unit(random);
    ASSERT_EQ(rounder.round(value), throughPrintf(value)) << value;
  }
  // Six significant digits: a value and its rounding differ, the rounding is a fixed point.
  EXPECT_EQ(rounder.round(0.408248290463863), 0.408248);
  EXPECT_EQ(rounder.round(rounder.round(0.123456789)), rounder.round(0.123456789));
}

TEST(RoundModelAsWrittenTest, EveryWeightOfEveryVectorOnAnyNumberOfThreads) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  VsmModel model;
  for (int32_t id = 1; id <= 300; ++id) {
    WeightVector weights(id % 17);
    for (double& weight : weights) weight = unit(random);
    model[id] = weights;
  }
  VsmModel expected = model;
  for (auto& [id, weights] : expected) {
    for (double& weight : weights) weight = throughPrintf(weight);
  }
  for (int threads : {1, 3}) {
    VsmModel rounded = model;
    roundModelAsWritten(rounded, threads);
    EXPECT_EQ(rounded, expected) << threads << " threads";
  }
  VsmModel empty;
  roundModelAsWritten(empty, 2);
  EXPECT_TRUE(empty.empty());
}

}  // namespace
}  // namespace newsclass::vsm
