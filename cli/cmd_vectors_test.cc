#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/encoding.h"
#include "cli/cmd_cli.h"
#include "cli/data_folder_lock.h"
#include "corpusdb/odbc_connection.h"
#include "testing/command_runner.h"
#include "testing/signalling_buffer.h"
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
    return testing::runCommand(commandLine(command), input);
  }

  std::vector<std::string> commandLine(const std::vector<std::string>& command) const {
    std::vector<std::string> arguments = {
        "newsclass",     "--data-dir",           dir.file("data"),
        "--train-range", "1-4",                  "--test-range",
        "1-3",           "--console-encoding",   "gbk",
        "--lexicon",     dir.file("lexicon.txt"), "--stopwords",
        dir.file("stopwords.txt"), "--user-dict", dir.file("dict.txt")};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return arguments;
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

// The vector files as an earlier run left them; a failed run must not touch them.
constexpr char kOldTraining[] = "7\n2\n0.6 0.8 \n";
constexpr char kOldTesting[] = "9\n2\n0.8 0.6 \n";

// The names in the data folder other than the corpus database and the lock file: any temporary
// file left behind shows up here.
std::set<std::string> dataFiles(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (name != "corpus.db" && name != "newsclass.lock") names.insert(name);
  }
  return names;
}

const std::set<std::string> kAllDataFiles = {"contingency.dat", "dict.dat", "keywords.dat",
                                             "testingVSM.dat", "trainingVSM.dat"};

TEST_F(DefaultRunTest, AMissingInputFailsNamingItAndChangesNoFile) {
  for (const char* input : {"dict.dat", "contingency.dat", "keywords.dat"}) {
    writeFileBytes(data("trainingVSM.dat"), kOldTraining);
    writeFileBytes(data("testingVSM.dat"), kOldTesting);
    std::filesystem::rename(data(input), dir.file(input));
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{}, std::vector<std::string>{"build-vectors"}}) {
      RunResult result = run(command, "\n");
      EXPECT_EQ(result.code, 2) << input;
      EXPECT_EQ(result.err, "newsclass: " + data(input) +
                                ": no such file (run the stage that writes it first)\n");
      EXPECT_EQ(result.out, "") << input;
      EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kOldTraining) << input;
      EXPECT_EQ(readFileBytes(data("testingVSM.dat")), kOldTesting) << input;
    }
    std::filesystem::rename(dir.file(input), data(input));
  }
  EXPECT_EQ(dataFiles(data("")), kAllDataFiles);
}

TEST_F(DefaultRunTest, AKeywordFileOfNoWordIsRefusedAndChangesNoFile) {
  writeFileBytes(data("trainingVSM.dat"), kOldTraining);
  writeFileBytes(data("testingVSM.dat"), kOldTesting);
  for (const char* keywords : {"", " \n\t\n"}) {
    writeFileBytes(data("keywords.dat"), keywords);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{}, std::vector<std::string>{"build-vectors"}}) {
      RunResult result = run(command, "\n");
      EXPECT_EQ(result.code, 2);
      EXPECT_EQ(result.err, "newsclass: " + data("keywords.dat") +
                                ": holds no keywords (run select-features first)\n");
      EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kOldTraining);
      EXPECT_EQ(readFileBytes(data("testingVSM.dat")), kOldTesting);
    }
  }
}

TEST_F(DefaultRunTest, AMissingDataFolderOrAFileInItsPlaceIsNamedOnce) {
  std::filesystem::rename(dir.file("data"), dir.file("elsewhere"));
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"build-vectors"}, {"classify"}, {"evaluate"}, {"predict"},
        {"select-features"}, {"build-contingency"}, {"classify", "--classifier", "linear"}}) {
    RunResult missing = run(command);
    EXPECT_EQ(missing.code, 2) << command[0];
    EXPECT_EQ(missing.err, "newsclass: " + dir.file("data") + ": no such folder (--data-dir)\n");
    // A command that reads its inputs there never creates the folder.
    EXPECT_FALSE(std::filesystem::exists(dir.file("data"))) << command[0];
    writeFileBytes(dir.file("data"), "a file\n");
    RunResult file = run(command);
    EXPECT_EQ(file.code, 2) << command[0];
    EXPECT_EQ(file.err, "newsclass: " + dir.file("data") + ": not a folder (--data-dir)\n");
    EXPECT_EQ(readFileBytes(dir.file("data")), "a file\n");
    std::filesystem::remove(dir.file("data"));
  }
}

TEST_F(DefaultRunTest, ADamagedDictionaryOrTableIsAnErrorAndChangesNoFile) {
  writeFileBytes(data("trainingVSM.dat"), kOldTraining);
  writeFileBytes(data("testingVSM.dat"), kOldTesting);
  writeFileBytes(data("dict.dat"), gbk("2\n体育\n1\n3 1 ; \n经济\n2\n1 2 ; 2"));
  RunResult result = run({});
  EXPECT_EQ(result.code, 2);
  // The loader's error, and nothing else.
  EXPECT_EQ(result.err, "newsclass: " + data("dict.dat") +
                            ": record 2 (\"经济\"): posting 2 of 2: the count is missing or not "
                            "a number\n");
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kOldTraining);
  EXPECT_EQ(readFileBytes(data("testingVSM.dat")), kOldTesting);

  writeFileBytes(data("dict.dat"), gbk("2\n体育\n1\n3 1 ; \n经济\n2\n1 2 ; 2 1 ; \n"));
  writeFileBytes(data("contingency.dat"), gbk("经济 history 1\n"));
  result = run({"build-vectors"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + data("contingency.dat") +
                            ": line 1: record ends after 3 of 4 fields\n");
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kOldTraining);
}

// The testing half reads the database after the training model is built; whatever fails there,
// neither vector file changes and no temporary file is left.
TEST_F(DefaultRunTest, AFailingTestingHalfLeavesBothVectorFilesUnchanged) {
  const std::string connection = sqliteConnectionString(data("corpus.db"));
  const char* const faults[] = {"UPDATE TestingCorpus SET CAbstract = NULL WHERE ArticleId = 3",
                                "DROP TABLE TestingCorpus"};
  for (const char* fault : faults) {
    writeFileBytes(data("trainingVSM.dat"), kOldTraining);
    writeFileBytes(data("testingVSM.dat"), kOldTesting);
    {
      OdbcConnection database(connection, "test");
      database.executeStatement(fault);
    }
    RunResult result = run({"build-vectors"});
    EXPECT_EQ(result.code, 2) << fault;
    EXPECT_EQ(result.err.rfind("database error in buildTestingVsm: ", 0), 0u) << result.err;
    EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kOldTraining) << fault;
    EXPECT_EQ(readFileBytes(data("testingVSM.dat")), kOldTesting) << fault;
    EXPECT_EQ(dataFiles(data("")), kAllDataFiles) << fault;
  }
}

TEST_F(DefaultRunTest, AVectorTargetThatIsAFolderFailsBeforeEitherFileIsReplaced) {
  writeFileBytes(data("trainingVSM.dat"), kOldTraining);
  std::filesystem::create_directories(data("testingVSM.dat"));
  RunResult result = run({"build-vectors"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + data("testingVSM.dat") +
                            ": cannot replace a folder; nothing replaced\n");
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kOldTraining);
  EXPECT_TRUE(std::filesystem::is_directory(data("testingVSM.dat")));
  EXPECT_EQ(dataFiles(data("")), kAllDataFiles);
}

using testing::SignallingBuffer;

TEST_F(DefaultRunTest, BuildVectorsWaitsWhileAnotherRunHoldsTheDataFolder) {
  // Another holder: a second open file of the lock conflicts as another process would.
  std::optional<DataFolderLock> other =
      DataFolderLock::tryAcquire(data(""), DataFolderAccess::kWrite);
  ASSERT_TRUE(other && other->held());
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  SignallingBuffer errBuffer(pipeFds[1]);
  std::ostream err(&errBuffer);
  std::ostringstream out;
  std::istringstream in;
  const std::vector<std::string> arguments = commandLine({"build-vectors"});
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  int code = -1;
  std::thread runner(
      [&] { code = runNewsclass(static_cast<int>(argv.size()), argv.data(), in, out, err); });

  pollfd wanted{pipeFds[0], POLLIN, 0};
  EXPECT_EQ(::poll(&wanted, 1, 30000), 1) << "no waiting line";
  // The run is waiting: nothing is written yet.
  EXPECT_FALSE(std::filesystem::exists(data("trainingVSM.dat")));
  other->release();
  runner.join();
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);

  EXPECT_EQ(code, 0);
  EXPECT_EQ(errBuffer.str(), "newsclass: data folder " + dir.file("data") +
                                 " is in use by another newsclass run (pid " +
                                 std::to_string(::getpid()) + "); waiting\n");
  EXPECT_EQ(readFileBytes(data("trainingVSM.dat")), kTrainingVectors);
  EXPECT_EQ(readFileBytes(data("testingVSM.dat")), kTestingVectors);
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
