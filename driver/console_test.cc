#include "driver/console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "driver/encoding.h"

namespace newsclass {
namespace {

// "对篇章分词的时间为" in GBK.
const std::string kLabelGbk = "\xB6\xD4\xC6\xAA\xD5\xC2\xB7\xD6\xB4\xCA\xB5\xC4\xCA\xB1\xBC\xE4\xCE\xAA";

TEST(ConsoleTest, GbkConsoleWritesTheBytesUnchanged) {
  std::ostringstream out;
  Console console(out, ConsoleEncoding::kGbk);
  console.timingLine(kLabelGbk, 0.015);
  EXPECT_EQ(out.str(), kLabelGbk + "0.015\n");
}

TEST(ConsoleTest, Utf8ConsoleConvertsGbk) {
  std::ostringstream out;
  Console console(out, ConsoleEncoding::kUtf8);
  console.timingLine(kLabelGbk, 0.015);
  EXPECT_EQ(out.str(), "对篇章分词的时间为0.015\n");
}

TEST(ConsoleTest, LabelHelperGivesGbkBytes) { EXPECT_EQ(gbk("对篇章分词的时间为"), kLabelGbk); }

TEST(ConsoleTest, QuietSilencesOnlyDetailLines) {
  std::ostringstream out;
  Console console(out, ConsoleEncoding::kGbk, true);
  console.detail("per article");
  console.line("finish");
  EXPECT_EQ(out.str(), "finish\n");
}

TEST(ConsoleTest, EncodingNames) {
  ConsoleEncoding encoding = ConsoleEncoding::kUtf8;
  ASSERT_TRUE(parseConsoleEncoding("GBK", encoding));
  EXPECT_EQ(encoding, ConsoleEncoding::kGbk);
  ASSERT_TRUE(parseConsoleEncoding("utf-8", encoding));
  EXPECT_EQ(encoding, ConsoleEncoding::kUtf8);
  EXPECT_FALSE(parseConsoleEncoding("latin1", encoding));
}

TEST(ConsoleTest, AutoFollowsTheLocaleCharacterSet) {
  const char* saved = std::getenv("LC_ALL");
  std::string savedValue = saved ? saved : "";
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(detectConsoleEncoding(), ConsoleEncoding::kUtf8);
  if (saved) {
    setenv("LC_ALL", savedValue.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

}  // namespace
}  // namespace newsclass
