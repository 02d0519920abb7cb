#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "corpusdb/odbc_connection.h"
#include "driver/cmd_cli.h"
#include "driver/encoding.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::writeFileBytes;

using RunResult = testing::CommandResult;

// A data folder with a corpus database, dict.dat, contingency.dat and keywords.dat, and the
// segmenter's files beside it. Training range 1..4, testing ids 1..3.
class DefaultRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.file("data"));
    const std::string connection = sqliteConnectionString(data("corpus.db"));
    testing::createCorpusTables(connection);
    testing::insertArticles(connection, "TestingCorpus",
                            {{1, "t1", "history", gbk("经济 经济 经济 体育")},
                             {2, "t2", "history", ""},
                             {3, "t3", "culture", gbk("天气 晴朗")}});
    writeFileBytes(data("dict.dat"), gbk("2\n体育\n1\n3 1 ; \n经济\n2\n1 2 ; 2 1 ; \n"));
    writeFileBytes(data("contingency.dat"), gbk("经济 history 1 0\n"));
    writeFileBytes(data("keywords.dat"), gbk("经济\n体育\n"));
    writeFileBytes(dir.file("lexicon.txt"), "经济 100 n\n体育 100 n\n天气 100 n\n");
    writeFileBytes(dir.file("stopwords.txt"), "的\n");
  }

  std::string data(const std::string& name) const { return dir.file("data/" + name); }

  RunResult run(std::vector<std::string> command, const std::string& input = "") {
    std::vector<std::string> arguments = {
        "newsclass",     "--data-dir",           dir.file("data"),
        "--train-range", "1-4",                  "--test-range",
        "1-3",           "--console-encoding",   "gbk",
        "--lexicon",     dir.file("lexicon.txt"), "--stopwords",
        dir.file("stopwords.txt"), "--user-dict", dir.file("dict.txt")};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments, input);
  }

  testing::TempDir dir;
};

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Training: 经济 (M, df) = (2, 2) in articles 1 and 2, 体育 (1, 1) in article 3, N = 4.
// Testing article 1 holds 经济 three times and 体育 once; article 3 neither; article 2 no text.
const char* const kTrainingVectors =
    "1\n2\n0.707107 0.707107 \n2\n2\n0.707107 0.707107 \n"
    "3\n2\n0.164399 0.986394 \n4\n2\n0.447214 0.894427 \n";
const char* const kTestingVectors = "1\n2\n0.5547 0.83205 \n3\n2\n0.447214 0.894427 \n";

TEST_F(DefaultRunTest, NoCommandWritesBothVectorFilesAndEndsWithFinish) {
  RunResult result = run({});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kTrainingVectors);
  EXPECT_EQ(readFileBytes(data("testingVSM.dat")), kTestingVectors);

  const std::vector<std::string> expected = {
      gbk("将contingencyTable加载到内存的时间为"),
      gbk("为训练语料库集合建立VSM模型共用了"),
      gbk("将语料库集合的VSM模型为序列化到硬盘的时间为"),
      "",
      gbk("导入用户词典后："),
      gbk("导入0个用户词。"),
      gbk("对篇章分词的时间为"),
      gbk("对篇章分词的时间为"),
      gbk("为测试集合建立VSM模型共耗时"),
      gbk("将语料库集合的VSM模型为序列化到硬盘的时间为"),
      "finish"};
  std::vector<std::string> lines = splitLines(result.out);
  ASSERT_EQ(lines.size(), expected.size()) << result.out;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(expected[i].empty() ? lines[i].empty() : startsWith(lines[i], expected[i]))
        << "line " << i << ": " << lines[i];
  }
  EXPECT_EQ(lines.back(), "finish");
}

TEST_F(DefaultRunTest, BuildVectorsCommandDoesTheSameWithoutFinish) {
  RunResult result = run({"build-vectors"});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kTrainingVectors);
  EXPECT_EQ(readFileBytes(data("testingVSM.dat")), kTestingVectors);
  EXPECT_EQ(result.out.find("finish"), std::string::npos);
}

TEST_F(DefaultRunTest, BuildVectorsRequiresEveryInputFile) {
  std::filesystem::remove(data("contingency.dat"));
  RunResult result = run({"build-vectors"});
  EXPECT_EQ(result.code, 2);
  EXPECT_NE(result.err.find(data("contingency.dat")), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(std::filesystem::exists(data("trainingVSM.dat")));
}

TEST_F(DefaultRunTest, NoCommandGoesOnWithoutContingencyButNotWithoutKeywords) {
  std::filesystem::remove(data("contingency.dat"));
  RunResult withoutTable = run({});
  EXPECT_EQ(withoutTable.code, 0) << withoutTable.err;
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kTrainingVectors);

  std::filesystem::remove(data("keywords.dat"));
  std::filesystem::remove(data("trainingVSM.dat"));
  RunResult withoutKeywords = run({});
  EXPECT_EQ(withoutKeywords.code, 2);
  const std::string error =
      "newsclass: " + data("keywords.dat") + ": cannot open: No such file or directory\n";
  ASSERT_GE(withoutKeywords.err.size(), error.size());
  EXPECT_EQ(withoutKeywords.err.substr(withoutKeywords.err.size() - error.size()), error);
  EXPECT_FALSE(std::filesystem::exists(data("trainingVSM.dat")));
}

TEST_F(DefaultRunTest, MissingLexiconChangesNoVectorFile) {
  writeFileBytes(data("trainingVSM.dat"), "old training\n");
  writeFileBytes(data("testingVSM.dat"), "old testing\n");
  std::filesystem::remove(dir.file("lexicon.txt"));
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"build-vectors"}, std::vector<std::string>{}}) {
    RunResult result = run(command, "\n");
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "ICTCLAS INIT FAILED!\n");
    EXPECT_EQ(result.err, "newsclass: " + dir.file("lexicon.txt") +
                              ": cannot read the segmenter's lexicon (--lexicon)\n");
    EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), "old training\n");
    EXPECT_EQ(readFileBytes(data("testingVSM.dat")), "old testing\n");
  }
}

TEST_F(DefaultRunTest, ImpossibleCountInDictDatChangesNoVectorFile) {
  writeFileBytes(data("trainingVSM.dat"), "old training\n");
  // 经济 in article 2 with a count of 0 would give its weights 0 / 0.
  writeFileBytes(data("dict.dat"), gbk("2\n体育\n1\n3 1 ; \n经济\n2\n1 2 ; 2 0 ; \n"));
  RunResult result = run({"build-vectors"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + data("dict.dat") +
                            ": record 2 (\"经济\"): posting 2 of 2 (article 2): count 0 is below 1\n");
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), "old training\n");
}

}  // namespace
}  // namespace newsclass
