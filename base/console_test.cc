#include "base/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "base/encoding.h"
#include "testing/test_support.h"

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

// Data bytes that would drive the terminal (ESC sequences, NUL, BEL, a lone CR, DEL) are shown
// escaped; tab, line ends and GBK text pass unchanged.
TEST(ConsoleTest, ControlBytesAreEscapedAndTextIsNot) {
  const std::string text = kLabelGbk + std::string("\x1b[31mred\0nul\a\x7f\tx\ry\r\nz\n", 22);
  std::ostringstream gbkOut;
  Console(gbkOut, ConsoleEncoding::kGbk).write(text);
  EXPECT_EQ(gbkOut.str(), kLabelGbk + "\\x1b[31mred\\x00nul\\x07\\x7f\tx\\x0dy\r\nz\n");

  std::ostringstream utf8Out;
  Console(utf8Out, ConsoleEncoding::kUtf8).line(gbk("经济\x1b[2J"));
  EXPECT_EQ(utf8Out.str(), "经济\\x1b[2J\n");

  // GBK second bytes run from 0x40: no control byte hides inside a character.
  const std::string allGbk = gbk("对篇章分词的时间为，“引号”【】～") + "\x81\x40\xFE\xFE";
  std::ostringstream plain;
  Console(plain, ConsoleEncoding::kGbk).line(allGbk);
  EXPECT_EQ(plain.str(), allGbk + "\n");
}

TEST(ConsoleTest, EscapingWithoutLineEndsKeepsOneLine) {
  EXPECT_EQ(escapeControlBytes(std::string("a\r\nb\nc\td\x1f"), false),
            "a\\x0d\\x0ab\\x0ac\td\\x1f");
  EXPECT_EQ(escapeControlBytes("\r", true), "\\x0d");  // a CR at the end ends no line
  EXPECT_EQ(escapeControlBytes("", true), "");
}

TEST(FileDescriptorBufferTest, WritesEveryByteInOrder) {
  testing::TempDir dir;
  const std::string path = dir.file("out.txt");
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  std::string expected;
  {
    FileDescriptorBuffer buffer(fd, 16);
    std::ostream out(&buffer);
    for (int i = 0; i < 50; ++i) {
      out << i << ' ';
      expected += std::to_string(i) + ' ';
    }
    const std::string big(100, 'x');  // larger than the buffer: written around it
    out << big;
    expected += big;
    out.put('\n');
    expected += '\n';
    out.flush();
    EXPECT_TRUE(out.good());
    EXPECT_EQ(buffer.error(), 0);
  }
  ::close(fd);
  EXPECT_EQ(testing::readFileBytes(path), expected);
}

TEST(FileDescriptorBufferTest, AFullDeviceTurnsTheStreamBadAndKeepsTheReason) {
  int fd = ::open("/dev/full", O_WRONLY);
  if (fd < 0) GTEST_SKIP() << "/dev/full is not available";
  FileDescriptorBuffer buffer(fd);
  std::ostream out(&buffer);
  out << "finish\n";
  EXPECT_TRUE(out.good());  // still buffered
  out.flush();
  EXPECT_TRUE(out.bad());
  EXPECT_EQ(buffer.error(), ENOSPC);
  ::close(fd);
}

}  // namespace
}  // namespace newsclass
