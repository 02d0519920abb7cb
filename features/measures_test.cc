#include "features/measures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace newsclass {
namespace {

// Every example counts a training range of N = 10 articles.
TEST(MeasuresTest, MeasuresOfAWordThatMarksTheCategory) {
  EXPECT_DOUBLE_EQ(chiSquare(2, 1, 1, 6), 2.743764172335601);
  EXPECT_DOUBLE_EQ(informationGain(2, 1, 1, 6), 0.1328286287645633);
  EXPECT_DOUBLE_EQ(mutualInformation(2, 1, 1, 6), 0.7985076962177717);
  EXPECT_EQ(mutualInformation(2, 1, 1, 6),
            std::log(10.0) + std::log(2.0) - std::log(3.0) - std::log(3.0));
}

TEST(MeasuresTest, MeasuresOfAWordThatAvoidsTheCategory) {
  EXPECT_DOUBLE_EQ(chiSquare(0, 3, 4, 3), 2.857142857142857);
  EXPECT_DOUBLE_EQ(informationGain(0, 3, 4, 3), 0.19497599371892632);
  EXPECT_EQ(mutualInformation(0, 3, 4, 3), 0.0);
}

TEST(MeasuresTest, ZeroMarginsFollowIeeeArithmetic) {
  EXPECT_TRUE(std::isnan(chiSquare(0, 0, 4, 6)));  // word in no article
  EXPECT_TRUE(std::isnan(chiSquare(4, 6, 0, 0)));  // word in every article
  EXPECT_EQ(informationGain(0, 0, 4, 6), 0.0);
  EXPECT_EQ(mutualInformation(0, 0, 4, 6), 0.0);
  EXPECT_EQ(informationGain(0, 0, 0, 0), 0.0);
}

}  // namespace
}  // namespace newsclass
