#include "segmentation/stop_word_set.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace newsclass {
namespace {

TEST(StopWordSetTest, FindsEveryWordAddedThroughTheTablesGrowth) {
  StopWordSet set;
  EXPECT_FALSE(set.contains(""));
  for (int i = 0; i < 500; ++i) set.insert("w" + std::to_string(i * 7));
  set.insert("w0");  // again: no second entry
  EXPECT_EQ(set.size(), 500u);
  for (int i = 0; i < 3500; ++i) {
    EXPECT_EQ(set.contains("w" + std::to_string(i)), i % 7 == 0) << i;
  }
  EXPECT_FALSE(set.contains("w"));
  EXPECT_FALSE(set.contains(std::string("w0\0", 3)));  // exact bytes, not a C string
}

TEST(StopWordSetTest, CopiesAndMovesKeepTheirOwnTables) {
  StopWordSet original{"of", "the", "\xB5\xC4"};  // 的
  StopWordSet copy = original;
  original.insert("and");
  EXPECT_TRUE(copy.contains("the"));
  EXPECT_TRUE(copy.contains("\xB5\xC4"));
  EXPECT_FALSE(copy.contains("and"));
  copy = original;
  EXPECT_TRUE(copy.contains("and"));
  EXPECT_TRUE(copy == original);
  StopWordSet moved = std::move(original);
  EXPECT_TRUE(moved.contains("of"));
  StopWordSet empty;
  moved = empty;
  EXPECT_FALSE(moved.contains("of"));
  EXPECT_TRUE(moved.empty());
}

}  // namespace
}  // namespace newsclass
