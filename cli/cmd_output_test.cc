// Standard output that cannot be written, through the real newsclass program: its standard
// output is /dev/full, where every write fails with "No space left on device".
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "corpusdb/odbc_connection.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::writeFileBytes;

// The newsclass program built beside this test program.
std::string programPath() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "newsclass").string();
}

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) {
    if (c == '\'') {
      result.append("'\\''");
    } else {
      result.push_back(c);
    }
  }
  result.push_back('\'');
  return result;
}

struct ProgramResult {
  int code;
  std::string err;
};

// A data folder from which evaluate and the default run both succeed.
class StandardOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(programPath())) {
      GTEST_FAIL() << programPath() << " is missing: build the newsclass target first";
    }
    const std::string connection = sqliteConnectionString(dir.file("corpus.db"));
    testing::createCorpusTables(connection);
    testing::insertArticles(
        connection, "TestingCorpus",
        {{1, "t1", "history", gbk("经济 体育")}, {2, "t2", "culture", gbk("天气")}});
    writeFileBytes(dir.file("dict.dat"), gbk("1\n经济\n1\n1 1 ; \n"));
    writeFileBytes(dir.file("contingency.dat"), gbk("经济 history 1 0\n"));
    writeFileBytes(dir.file("keywords.dat"), gbk("经济\n"));
    writeFileBytes(dir.file("predictions.dat"), "1 history\n2 history\n");
    writeFileBytes(dir.file("lexicon.txt"), "经济 100 n\n体育 100 n\n天气 100 n\n");
    writeFileBytes(dir.file("stopwords.txt"), "的\n");
  }

  // Runs newsclass with its standard input from /dev/null, standard output to `outputPath` and
  // standard error captured.
  ProgramResult run(const std::vector<std::string>& arguments, const std::string& outputPath) {
    std::string command = quoted(programPath());
    for (const std::string& argument : std::vector<std::string>{
             "--data-dir", dir.path(), "--train-range", "1-2", "--test-range", "1-2",
             "--categories", "history,culture", "--lexicon", dir.file("lexicon.txt"), "--stopwords",
             dir.file("stopwords.txt"), "--user-dict", dir.file("no.txt")}) {
      command.append(" ").append(quoted(argument));
    }
    for (const std::string& argument : arguments) command.append(" ").append(quoted(argument));
    command.append(" </dev/null >").append(quoted(outputPath));
    command.append(" 2>").append(quoted(dir.file("err.txt")));
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status)) << command;
    return {WEXITSTATUS(status), readFileBytes(dir.file("err.txt"))};
  }

  testing::TempDir dir;
};

const char* const kFull = "newsclass: standard output: write failed: No space left on device\n";

TEST_F(StandardOutputTest, EvaluateToAFullDeviceIsExitTwo) {
  ProgramResult written = run({"evaluate"}, dir.file("report.txt"));
  ASSERT_EQ(written.code, 0) << written.err;
  EXPECT_NE(readFileBytes(dir.file("report.txt")).find("accuracy"), std::string::npos);

  ProgramResult full = run({"evaluate", "--format", "json"}, "/dev/full");
  EXPECT_EQ(full.code, 2);
  EXPECT_EQ(full.err, kFull);
}

TEST_F(StandardOutputTest, TheDefaultRunToAFullDeviceIsExitTwo) {
  ProgramResult written = run({}, dir.file("run.txt"));
  ASSERT_EQ(written.code, 0) << written.err;
  const std::string output = readFileBytes(dir.file("run.txt"));
  EXPECT_EQ(output.substr(output.size() - 7), "finish\n");

  ProgramResult full = run({}, "/dev/full");
  EXPECT_EQ(full.code, 2);
  EXPECT_EQ(full.err, kFull);
  // The work itself was done: both vector files are there.
  EXPECT_TRUE(std::filesystem::exists(dir.file("testingVSM.dat")));
}

TEST_F(StandardOutputTest, HelpToAFullDeviceIsExitTwo) {
  ProgramResult full = run({"--help"}, "/dev/full");
  EXPECT_EQ(full.code, 2);
  EXPECT_EQ(full.err, kFull);
}

}  // namespace
}  // namespace newsclass
