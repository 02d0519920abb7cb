#include "driver/cmd_cli.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using RunResult = testing::CommandResult;

RunResult run(std::vector<std::string> arguments, const std::string& input = "") {
  arguments.insert(arguments.begin(), "newsclass");
  return testing::runCommand(arguments, input);
}

TEST(CommandLineTest, HelpShowsTheRealDefaults) {
  RunResult result = run({"--help"});
  EXPECT_EQ(result.code, 0);
  for (const char* expected : {"--data-dir", "data", "1-6000", "1-600",
                               "history,culture,reading,military,society&law,entertainment",
                               "--console-encoding", "auto", "import", "pipeline"}) {
    EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
  }
}

TEST(CommandLineTest, MalformedGlobalOptionsAreUsageErrors) {
  testing::TempDir dir;
  RunResult range = run({"--data-dir", dir.path(), "--train-range", "1to9", "show", "1"});
  EXPECT_EQ(range.code, 1);
  EXPECT_EQ(range.err, "newsclass: --train-range: expected A-B, got \"1to9\"\n");

  RunResult encoding = run({"--data-dir", dir.path(), "--console-encoding", "latin1", "show", "1"});
  EXPECT_EQ(encoding.code, 1);
  EXPECT_EQ(encoding.err,
            "newsclass: --console-encoding: expected auto, gbk or utf-8, got \"latin1\"\n");

  RunResult categories = run({"--data-dir", dir.path(), "--categories", "a,,b", "show", "1"});
  EXPECT_EQ(categories.code, 1);
  EXPECT_NE(categories.err.find("empty category name"), std::string::npos) << categories.err;
}

TEST(CommandLineTest, UnknownCommandIsAUsageError) {
  RunResult result = run({"no-such-command"});
  EXPECT_EQ(result.code, 1);
  EXPECT_FALSE(result.err.empty());
}

TEST(CommandLineTest, IdRanges) {
  int32_t first = 0, last = 0;
  ASSERT_TRUE(parseIdRange("1-6000", first, last));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 6000);
  ASSERT_TRUE(parseIdRange("-5--1", first, last));
  EXPECT_EQ(first, -5);
  EXPECT_EQ(last, -1);
  ASSERT_TRUE(parseIdRange("10-9", first, last));  // an empty range is allowed
  EXPECT_FALSE(parseIdRange("7", first, last));
  EXPECT_FALSE(parseIdRange("1-", first, last));
  EXPECT_FALSE(parseIdRange("a-b", first, last));
}

}  // namespace
}  // namespace newsclass
