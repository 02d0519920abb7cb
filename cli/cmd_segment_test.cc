#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "cli/cmd_cli.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using RunResult = testing::CommandResult;

RunResult run(std::vector<std::string> arguments, const std::string& input = "") {
  arguments.insert(arguments.begin(), "newsclass");
  return testing::runCommand(arguments, input);
}

class SegmentCommandTest : public ::testing::Test {
 protected:
  std::vector<std::string> options(const std::string& encoding) {
    return {"--data-dir",          dir.path(),
            "--lexicon",           "testdata/tiny_lexicon.txt",
            "--user-dict",         dir.file("dict.txt"),
            "--stopwords",         dir.file("stopwords.txt"),
            "--console-encoding",  encoding};
  }
  std::vector<std::string> command(const std::string& encoding,
                                   const std::vector<std::string>& rest) {
    std::vector<std::string> arguments = options(encoding);
    arguments.insert(arguments.end(), rest.begin(), rest.end());
    return arguments;
  }
  testing::TempDir dir;
};

TEST_F(SegmentCommandTest, FilePrintsOneLineOfWordsPerInputLine) {
  // A blank line, a CR LF line end and a last line without a line end.
  testing::writeFileBytes(dir.file("in.txt"),
                          "研究生命起源\n\n2008年北京奥运会，你好！\r\n  中国人民银行");
  RunResult result = run(command("utf-8", {"segment", dir.file("in.txt")}));
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out,
            "研究  生命  起源\n"
            "\n"
            "2008  年  北京  奥运会  ，  你好  ！\n"
            "中国  人民  银行\n");
  // The start-up lines go to standard error, in the console's encoding.
  EXPECT_EQ(result.err, "\n导入用户词典后：\n导入0个用户词。\n");
}

TEST_F(SegmentCommandTest, StandardInputInGbkWithUserWordsAndGbkConsole) {
  testing::writeFileBytes(dir.file("dict.txt"), "研究生\n");
  RunResult result = run(command("gbk", {"segment"}), utf8ToGbk("研究生命起源\n和尚\n"));
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, utf8ToGbk("研究生  命  起源\n和尚\n"));
  EXPECT_EQ(result.err, utf8ToGbk("\n导入用户词典后：\n导入1个用户词。\n"));
}

TEST_F(SegmentCommandTest, EmptyInputPrintsNothing) {
  RunResult result = run(command("utf-8", {"segment"}), "");
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST_F(SegmentCommandTest, MissingLexiconIsADataErrorAfterTheFailureLine) {
  std::vector<std::string> arguments = command("utf-8", {"segment"});
  arguments[3] = dir.file("no-lexicon.txt");
  RunResult result = run(arguments, "北京2008年\n");
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "ICTCLAS INIT FAILED!\nnewsclass: " + dir.file("no-lexicon.txt") +
                            ": cannot read the segmenter's lexicon (--lexicon)\n");
}

TEST_F(SegmentCommandTest, TokenizePrintsTheKeptWordsWithoutTimingLines) {
  testing::writeFileBytes(dir.file("stopwords.txt"), "的\n，\n");
  RunResult result = run(command("utf-8", {"segment", "--tokenize"}),
                         "结婚的和尚未结婚的，2008年\n123 456\n北京\n");
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out, "结婚  和  尚未  结婚  年\n\n北京\n");
  EXPECT_EQ(result.err, "\n导入用户词典后：\n导入0个用户词。\n");
}

TEST_F(SegmentCommandTest, MissingInputFileIsADataError) {
  RunResult result = run(command("utf-8", {"segment", dir.file("missing.txt")}));
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "newsclass: " + dir.file("missing.txt") +
                            ": cannot read the text to segment\n");
  // A folder cannot be read as a text either.
  result = run(command("utf-8", {"segment", dir.path()}));
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.path() + ": cannot read the text to segment\n");
}

}  // namespace
}  // namespace newsclass
