#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "cli/cmd_cli.h"
#include "corpusdb/odbc_connection.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::writeFileBytes;

using RunResult = testing::CommandResult;

// Training articles 1-3 are history and lie near (1, 0); 4-6 are culture and lie near (0, 1).
// Testing articles: 1 history near (1, 0.1), 2 culture near (0.1, 1), 3 culture at (1, 0).
class ClassifyCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string connection = sqliteConnectionString(dir.file("corpus.db"));
    testing::createCorpusTables(connection);
    std::vector<testing::TestArticle> training;
    for (int id = 1; id <= 6; ++id) training.push_back({id, "t", id <= 3 ? "history" : "culture", "x"});
    testing::insertArticles(connection, "TrainingCorpus", training);
    testing::insertArticles(connection, "TestingCorpus",
                            {{1, "t", "history", "x"}, {2, "t", "culture", "x"},
                             {3, "t", "culture", "x"}});
    writeFileBytes(dir.file("trainingVSM.dat"),
                   "1\n2\n1 0 \n2\n2\n0.9 0.1 \n3\n2\n0.8 0.3 \n"
                   "4\n2\n0 1 \n5\n2\n0.1 0.9 \n6\n2\n0.3 0.8 \n");
    writeFileBytes(dir.file("testingVSM.dat"), "1\n2\n1 0.1 \n2\n2\n0.1 1 \n3\n2\n1 0 \n");
  }

  RunResult run(std::vector<std::string> commandArguments,
                const std::string& categories = "history,culture") {
    std::vector<std::string> arguments = {"newsclass",    "--data-dir",      dir.path(),
                                          "--categories", categories,        "--console-encoding",
                                          "gbk",          "--train-range",   "1-6",
                                          "--test-range", "1-3"};
    arguments.insert(arguments.end(), commandArguments.begin(), commandArguments.end());
    return testing::runCommand(arguments);
  }

  // The output from the first occurrence of `marker` on.
  static std::string from(const std::string& text, const std::string& marker) {
    size_t at = text.find(marker);
    return at == std::string::npos ? "" : text.substr(at);
  }

  testing::TempDir dir;
};

TEST_F(ClassifyCommandTest, WritesPredictionsAndPrintsTheTimingLine) {
  RunResult result = run({"classify", "--k", "3"});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(readFileBytes(dir.file("predictions.dat")), "1 history\n2 culture\n3 history\n");
  const std::string label = gbk("对测试集进行KNN分类的时间为");
  std::string tail = from(result.out, label);
  ASSERT_FALSE(tail.empty()) << result.out;
  EXPECT_NE(tail.find("\npredictions: 3 articles -> " + dir.file("predictions.dat") + "\n"),
            std::string::npos)
      << tail;
  EXPECT_FALSE(std::filesystem::exists(dir.file("predictions.dat.tmp")));
}

TEST_F(ClassifyCommandTest, DefaultKIsTenAndMustFitTheTrainingVectors) {
  RunResult result = run({"classify"});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.err, "newsclass: --k: K must lie between 1 and the number of training "
                        "vectors in " + dir.file("trainingVSM.dat") + " (6), got 10\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("predictions.dat")));
  EXPECT_EQ(from(result.out, gbk("对测试集进行KNN分类的时间为")), "");

  result = run({"classify", "--k", "0"});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.err, "newsclass: --k: K must be at least 1, got 0\n");
  EXPECT_EQ(result.out, "");  // refused before the vector files are loaded

  result = run({"classify", "--k", "6"});
  EXPECT_EQ(result.code, 0) << result.err;
  // All six neighbours: three votes each, the tie goes to history, listed first.
  EXPECT_EQ(readFileBytes(dir.file("predictions.dat")), "1 history\n2 history\n3 history\n");
}

TEST_F(ClassifyCommandTest, MissingVectorFilesAreNamed) {
  std::filesystem::remove(dir.file("testingVSM.dat"));
  RunResult result = run({"classify", "--k", "3"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.file("testingVSM.dat") +
                            ": no such file (run the stage that writes it first)\n");
}

TEST_F(ClassifyCommandTest, EmptyOrDamagedTrainingVectorsAreADataErrorNamingTheFile) {
  const std::string path = dir.file("trainingVSM.dat");
  struct Case {
    std::string bytes;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {"", ": holds no training vectors (run build-vectors first)"},
           {"\r\n\n", ": holds no training vectors (run build-vectors first)"},
           // The error line shows the control byte escaped.
           {"junk\x01\xff\n", ": record 1: article id \"junk\\x01\xff\" is not a number"},
           {"1\n2\n1 0 \n2\n2\n0.9", ": record 2 (article 2): 2 weights announced, 1 found"},
           {"1\n2\n1 nan \n", ": record 1 (article 1): weight 2 \"nan\" is not a finite number"}}) {
    writeFileBytes(path, c.bytes);
    // The default K of 10 exceeds every one of these models: the file is at fault, not --k.
    RunResult result = run({"classify"});
    EXPECT_EQ(result.code, 2) << c.bytes;
    EXPECT_EQ(result.err, "newsclass: " + path + c.message + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("predictions.dat")));
  }
  // A damaged testing file is refused the same way rather than classified in part.
  writeFileBytes(dir.file("testingVSM.dat"), "1\n2\n1 0.1 \n2\n3\n0.1 1 \n");
  writeFileBytes(path, "1\n2\n1 0 \n2\n2\n0 1 \n");
  RunResult result = run({"classify", "--k", "1"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.file("testingVSM.dat") +
                            ": record 2 (article 2): 3 weights announced, 2 found\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("predictions.dat")));
}

TEST_F(ClassifyCommandTest, CategoriesAbsentFromTrainingCorpusAreAUsageError) {
  testing::insertArticles(sqliteConnectionString(dir.file("corpus.db")), "TrainingCorpus",
                          {{7, "t", gbk(" 体育 "), "x"}, {8, "t", "", "x"}});
  writeFileBytes(dir.file("predictions.dat"), "1 culture\n");
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"classify", "--k", "3"},
        std::vector<std::string>{"classify", "--k", "3", "--explain", "1"}}) {
    RunResult result = run(command, "sport,History");
    EXPECT_EQ(result.code, 1);
    // The stored names are trimmed, empty ones left out, in byte order; GBK for a GBK console.
    EXPECT_EQ(result.err, "newsclass: --categories: none of sport, History occurs in "
                          "TrainingCorpus, whose categories are culture, history, " +
                              gbk("体育") + "\n");
    EXPECT_EQ(result.out, "");  // refused before the vector files are loaded
    EXPECT_EQ(readFileBytes(dir.file("predictions.dat")), "1 culture\n");
  }
  // One listed category that occurs is enough; the trimmed stored name counts.
  RunResult result = run({"classify", "--k", "3"}, "sport," + std::string("体育"));
  EXPECT_EQ(result.code, 0) << result.err;
}

TEST_F(ClassifyCommandTest, ArticlesWithoutAListedNeighbourAreCountedInOneWarning) {
  // Testing article 2 has three culture neighbours, none of them listed: it takes history.
  RunResult result = run({"classify", "--k", "3"}, "history,sport");
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(readFileBytes(dir.file("predictions.dat")), "1 history\n2 history\n3 history\n");
  EXPECT_EQ(result.err, "classification: 1 of 3 testing articles had no neighbour with a listed "
                        "category and took the first, history\n");
  // With culture listed first every article of the other kind gets no vote.
  result = run({"classify", "--k", "3"}, "culture,sport");
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(readFileBytes(dir.file("predictions.dat")), "1 culture\n2 culture\n3 culture\n");
  EXPECT_EQ(result.err, "classification: 2 of 3 testing articles had no neighbour with a listed "
                        "category and took the first, culture\n");
  result = run({"classify", "--k", "3"});
  EXPECT_EQ(result.err, "");
}

TEST_F(ClassifyCommandTest, ExplainPrintsNeighboursAndVotes) {
  RunResult result = run({"classify", "--k", "3", "--explain", "1"});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(from(result.out, "testing article"),
            "testing article 1: predicted history (K = 3, neighbours from TrainingCorpus)\n"
            "rank  article    similarity  stored category\n"
            "1     2          0.999940    history\n"
            "2     1          0.995037    history\n"
            "3     3          0.966620    history\n"
            "votes: history 3, culture 0\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("predictions.dat")));

  result = run({"classify", "--k", "3", "--explain", "9"});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.err, "newsclass: --explain: testing article 9 is not in " +
                            dir.file("testingVSM.dat") + "\n");
}

TEST_F(ClassifyCommandTest, EvaluateReadsThePredictions) {
  ASSERT_EQ(run({"classify", "--k", "3"}).code, 0);
  RunResult result = run({"evaluate", "--format", "csv"});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out,
            "kind,category,predicted_category,precision,recall,f1,accuracy,support,predicted,"
            "correct,count\n"
            "category,history,,0.5,1,0.6666666666666666,,1,2,1,\n"
            "category,culture,,1,0.5,0.6666666666666666,,2,1,1,\n"
            "micro,,,0.6666666666666666,0.6666666666666666,0.6666666666666666,,3,3,2,\n"
            "macro,,,0.75,0.75,0.6666666666666666,,,,,\n"
            "accuracy,,,,,,0.6666666666666666,,3,2,\n"
            "confusion,history,history,,,,,,,,1\n"
            "confusion,history,culture,,,,,,,,0\n"
            "confusion,culture,history,,,,,,,,1\n"
            "confusion,culture,culture,,,,,,,,1\n");
  result = run({"evaluate"});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.out.find("accuracy       0.6667     (2 of 3)\n"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Macro F1 is the mean of the per-category F1 values.\n"),
            std::string::npos);
  result = run({"evaluate", "--format", "json"});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_NE(result.out.find("\"macro\": {\"precision\": 0.75, \"recall\": 0.75, \"f1\": "
                            "0.6666666666666666"),
            std::string::npos)
      << result.out;
}

TEST_F(ClassifyCommandTest, EvaluateNamesAMissingOrDamagedPredictionsFile) {
  RunResult result = run({"evaluate"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.file("predictions.dat") +
                            ": no such file (run the stage that writes it first)\n");
  writeFileBytes(dir.file("predictions.dat"), "1 history\n2culture\n");
  result = run({"evaluate"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.file("predictions.dat") +
                            ": line 2: expected \"<article id> <category>\"\n");
  writeFileBytes(dir.file("predictions.dat"), "1 history\n7 culture\n");
  result = run({"evaluate"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err,
            "newsclass: predicted article 7 is not in TestingCorpus (or its category is NULL)\n");
  result = run({"evaluate", "--format", "xml"});
  EXPECT_EQ(result.code, 1);
}

}  // namespace
}  // namespace newsclass
