#include "base/json_line.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>

namespace newsclass {
namespace {

TEST(JsonLineTest, FieldsListsAndItemsComeOutInOrderWithTheirCommas) {
  JsonLine line;
  line.integer("line", 3).text("category", "history").number("score", 0.3);
  line.openList("top");
  line.openItem().text("category", "history").number("score", 0.3).closeItem();
  line.openItem().text("category", "culture").number("score", 0.7).closeItem();
  line.closeList();
  line.openList("neighbours").closeList();
  EXPECT_EQ(line.finish(),
            "{\"line\":3,\"category\":\"history\",\"score\":0.3,\"top\":[{\"category\":\"history\","
            "\"score\":0.3},{\"category\":\"culture\",\"score\":0.7}],\"neighbours\":[]}\n");
  EXPECT_EQ(JsonLine().finish(), "{}\n");
}

TEST(JsonLineTest, NumbersAreTheShortestTextThatReadsBack) {
  const double cases[] = {0.0, 1.0, 0.1, 1.0 / 3, 1e-7, 123456789012345678.0, -2.5, 1e21};
  const char* texts[] = {"0", "1", "0.1", "0.3333333333333333", "1e-07", "123456789012345680",
                         "-2.5", "1e+21"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(JsonLine().number("n", cases[i]).finish(), std::string("{\"n\":") + texts[i] + "}\n");
  }
  // Not finite: JSON has no text for it.
  EXPECT_EQ(JsonLine().number("n", -std::numeric_limits<double>::infinity()).finish(),
            "{\"n\":null}\n");
  EXPECT_EQ(JsonLine().number("n", std::numeric_limits<double>::quiet_NaN()).finish(),
            "{\"n\":null}\n");
  EXPECT_EQ(JsonLine().integer("id", -2147483648LL).integer("big", 9007199254740993LL).finish(),
            "{\"id\":-2147483648,\"big\":9007199254740993}\n");
}

TEST(JsonLineTest, StringsAreEscapedByteForByteAsGbkText) {
  // Quote and backslash; control bytes and DEL as \u00XX; a GBK character whose second byte is
  // '\' (0x5C) stays whole; a lead byte without its trail byte is escaped.
  const std::string text = std::string("a\"b\\c\x01\t\x7f") + "\xD5\x5C" + "\xC0";
  EXPECT_EQ(JsonLine().text("id", text).finish(),
            "{\"id\":\"a\\\"b\\\\c\\u0001\\u0009\\u007f\xD5\x5C\\u00c0\"}\n");
  EXPECT_EQ(JsonLine().text("file", "").finish(), "{\"file\":\"\"}\n");
}

TEST(JsonLineTest, FinishingWithAnOpenListIsRefused) {
  JsonLine line;
  line.openList("top").openItem();
  EXPECT_THROW(line.finish(), std::logic_error);
}

}  // namespace
}  // namespace newsclass
