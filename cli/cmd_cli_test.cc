#include "cli/cmd_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <vector>

#include "base/errors.h"
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
  ASSERT_TRUE(parseIdRange("10-9", first, last));  // parsed; checkIdRange refuses it
  EXPECT_FALSE(parseIdRange("7", first, last));
  EXPECT_FALSE(parseIdRange("1-", first, last));
  EXPECT_FALSE(parseIdRange("a-b", first, last));
}

TEST(CommandLineTest, IdRangeSizesMustFitASigned32BitInteger) {
  EXPECT_NO_THROW(checkIdRange("--train-range", "7-7", 7, 7));
  EXPECT_NO_THROW(checkIdRange("--train-range", "1-2147483647", 1, INT32_MAX));
  EXPECT_NO_THROW(checkIdRange("--train-range", "", INT32_MIN + 1, -1));
  EXPECT_NO_THROW(checkIdRange("--train-range", "", INT32_MIN, -2));
  EXPECT_THROW(checkIdRange("--train-range", "", INT32_MIN, -1), UsageError);
  EXPECT_THROW(checkIdRange("--train-range", "", 0, INT32_MAX), UsageError);
  EXPECT_THROW(checkIdRange("--train-range", "", INT32_MIN, INT32_MAX), UsageError);
  EXPECT_THROW(checkIdRange("--train-range", "", 10, 9), UsageError);
}

// Reversed or oversized ranges are refused before any work: the data files stay as they were.
TEST(CommandLineTest, EmptyAndOversizedRangesAreRefusedByEveryCommand) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("dict.dat"), "old dictionary\n");
  testing::writeFileBytes(dir.file("testingVSM.dat"), "old vectors\n");
  const std::string reversed =
      "newsclass: --train-range: \"120-1\" holds no ids (the first id is greater than the "
      "last)\n";
  for (const char* command : {"build-dictionary", "build-vectors", "pipeline", "show",
                              "print-dictionary", "evaluate", "classify"}) {
    std::vector<std::string> arguments = {"--data-dir", dir.path(), "--train-range", "120-1",
                                          command};
    if (std::string(command) == "show") arguments.push_back("1");
    RunResult result = run(arguments);
    EXPECT_EQ(result.code, 1) << command;
    EXPECT_EQ(result.err, reversed) << command;
    EXPECT_EQ(result.out, "") << command;
  }
  RunResult defaultRun = run({"--data-dir", dir.path(), "--test-range", "600-1"});
  EXPECT_EQ(defaultRun.code, 1);
  EXPECT_EQ(defaultRun.err,
            "newsclass: --test-range: \"600-1\" holds no ids (the first id is greater than the "
            "last)\n");
  EXPECT_EQ(defaultRun.out, "");  // no "finish"

  RunResult huge = run({"--data-dir", dir.path(), "--train-range", "0-2147483647", "pipeline"});
  EXPECT_EQ(huge.code, 1);
  EXPECT_EQ(huge.err,
            "newsclass: --train-range: \"0-2147483647\" holds more than 2147483647 ids\n");
  RunResult hugeTest =
      run({"--data-dir", dir.path(), "--test-range", "-2147483648-0", "build-vectors"});
  EXPECT_EQ(hugeTest.code, 1);
  EXPECT_EQ(hugeTest.err,
            "newsclass: --test-range: \"-2147483648-0\" holds more than 2147483647 ids\n");

  EXPECT_EQ(testing::readFileBytes(dir.file("dict.dat")), "old dictionary\n");
  EXPECT_EQ(testing::readFileBytes(dir.file("testingVSM.dat")), "old vectors\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("corpus.db")));
}

TEST(CommandLineTest, CategoryNamesWithWhiteSpaceAreRefused) {
  testing::TempDir dir;
  RunResult space =
      run({"--data-dir", dir.path(), "--categories", "history, society law ,culture", "evaluate"});
  EXPECT_EQ(space.code, 1);
  EXPECT_EQ(space.err,
            "newsclass: --categories: category name \"society law\" holds white space\n");
  RunResult tab = run({"--data-dir", dir.path(), "--categories", "a\tb", "evaluate"});
  EXPECT_EQ(tab.code, 1);
  EXPECT_EQ(tab.err, "newsclass: --categories: category name \"a\tb\" holds white space\n");
  // Blanks around a name are trimmed, as before: this list is fine and evaluate goes on to
  // miss its predictions file.
  RunResult trimmed =
      run({"--data-dir", dir.path(), "--categories", " history , culture", "evaluate"});
  EXPECT_EQ(trimmed.code, 2);
  EXPECT_EQ(trimmed.err, "newsclass: " + dir.file("predictions.dat") +
                             ": no such file (run the stage that writes it first)\n");
}

TEST(CommandLineTest, NumericOptionsGiveOneShortLine) {
  testing::TempDir dir;
  const std::string data = dir.path();
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const std::string count =
      "newsclass: --count: expected a whole number from 0 to 2147483647, got ";
  const std::string anyInt = "expected a whole number from -2147483648 to 2147483647, got ";
  for (const Case& c : std::vector<Case>{
           {{"select-features", "--count", "-5"}, count + "-5\n"},
           {{"select-features", "--count", "2147483648"}, count + "2147483648\n"},
           {{"select-features", "--count", "1e3"}, count + "1e3\n"},
           {{"pipeline", "--count", "12abc"}, count + "12abc\n"},
           {{"pipeline", "--k", "ten"}, "newsclass: --k: " + anyInt + "ten\n"},
           {{"classify", "--k", "99999999999"}, "newsclass: --k: " + anyInt + "99999999999\n"},
           {{"classify", "--explain", "0.5"}, "newsclass: --explain: " + anyInt + "0.5\n"},
           {{"classify", "--k", "-5"}, "newsclass: --k: K must be at least 1, got -5\n"},
       }) {
    std::vector<std::string> arguments = {"--data-dir", data};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    RunResult result = run(arguments);
    EXPECT_EQ(result.code, 1) << c.arguments[0] << " " << c.arguments[2];
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
  }
}

TEST(CommandLineTest, WholeNumbersAreRewrittenInPlainDecimal) {
  CLI::Validator check = wholeNumber(0, 100);
  std::string value = "010";  // CLI11 alone would read this as octal 8
  EXPECT_EQ(check(value), "");
  EXPECT_EQ(value, "10");
  value = "-0";
  EXPECT_EQ(check(value), "");
  EXPECT_EQ(value, "0");
  value = "+5";
  EXPECT_EQ(check(value), "expected a whole number from 0 to 100, got +5");
  value = "101";
  EXPECT_EQ(check(value), "expected a whole number from 0 to 100, got 101");
}

// Every command-line error is one line that starts with "newsclass:".
TEST(CommandLineTest, ParseErrorsAreOneLine) {
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"no-such-command"},
                                                    {"--no-such-option"},
                                                    {"show"},
                                                    {"pipeline", "--measure", "tfidf"},
                                                    {"--data-dir"},
                                                    {"evaluate", "--format", "xml"}}) {
    RunResult result = run(arguments);
    EXPECT_EQ(result.code, 1) << arguments[0];
    EXPECT_EQ(result.err.rfind("newsclass: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(result.err.back(), '\n');
  }
  EXPECT_EQ(run({"show"}).err, "newsclass: ID is required\n");
  EXPECT_EQ(run({"pipeline", "--measure", "tfidf"}).err,
            "newsclass: --measure: tfidf not in {chi,ig,mi,cf,df}\n");
}

TEST(CommandLineTest, ACommandNameIsNotAnOptionValue) {
  testing::TempDir dir;
  for (const char* option : {"--categories", "--train-range", "--db", "--stopwords"}) {
    RunResult result = run({"--data-dir", dir.path(), option, "build-dictionary"}, "x\n");
    EXPECT_EQ(result.code, 1) << option;
    EXPECT_EQ(result.err, std::string("newsclass: ") + option +
                              ": expected a value, got the command name \"build-dictionary\"\n");
    EXPECT_EQ(result.out, "");  // neither the default sequence nor "finish"
  }
  RunResult dataDir = run({"--data-dir", "pipeline", "evaluate"});
  EXPECT_EQ(dataDir.code, 1);
  EXPECT_EQ(dataDir.err,
            "newsclass: --data-dir: expected a value, got the command name \"pipeline\"\n");
  EXPECT_FALSE(std::filesystem::exists("pipeline"));
}

TEST(CommandLineTest, ARequiredInputThatIsAFolderIsNamedSo) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.file("dict.dat"));
  RunResult result = run({"--data-dir", dir.path(), "print-dictionary"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.file("dict.dat") + ": is a folder\n");
}

// Control bytes quoted in an error message reach the terminal escaped, on one line.
TEST(CommandLineTest, ErrorLinesEscapeControlBytes) {
  RunResult result = run({"--train-range", std::string("1\x1b[2J-5\n", 8), "show", "1"});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.err, "newsclass: --train-range: expected A-B, got \"1\\x1b[2J-5\\x0a\"\n");
}

// A stream buffer that refuses every byte, like a full disk.
class FailingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(CommandLineTest, AFailedWriteToStandardOutputIsExitTwo) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"newsclass", "--help"}, {"newsclass", "evaluate", "--help"}}) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    FailingBuffer failing;
    std::ostream out(&failing);
    std::istringstream in;
    std::ostringstream err;
    EXPECT_EQ(runNewsclass(static_cast<int>(argv.size()), argv.data(), in, out, err), 2);
    EXPECT_EQ(err.str(), "newsclass: standard output: write failed\n");
  }
}

}  // namespace
}  // namespace newsclass
