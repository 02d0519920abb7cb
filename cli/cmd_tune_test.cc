// tune through the command line on the sample corpus: the table, its formats, the same table
// for any thread count and seed repeat, and refusals before any work.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

constexpr const char* kLexicon = "/usr/lib/python3/dist-packages/jieba/dict.txt";

class TuneCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
    ASSERT_EQ(run({"import", "sample/corpus.tsv"}).code, 0);
  }

  testing::CommandResult run(std::vector<std::string> command, const char* threads = "2") {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(data);
    arguments.insert(arguments.end(), {"--threads", threads, "-q"});
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments);
  }

  // The table without its seconds column, which is the only part that may differ between runs.
  static std::string withoutSeconds(const std::string& table) {
    static const std::regex seconds("  +[0-9]+\\.[0-9]{2}  ");
    return std::regex_replace(table, seconds, "  #  ");
  }

  testing::TempDir dir;
  std::string data = dir.file("data");
};

TEST_F(TuneCommandTest, TheTableRanksEverySettingAndNamesTheBestCommandLine) {
  const testing::CommandResult tuned =
      run({"tune", "--folds", "3", "--grid", "classifier=linear,logistic;terms=words,chars;count=0"});
  ASSERT_EQ(tuned.code, 0) << tuned.err;
  std::istringstream lines(tuned.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "macro-f1 over 3 folds of the training range (seed 1), best first:");
  std::getline(lines, line);
  EXPECT_EQ(line, "rank    mean     std  seconds  setting");
  double previous = 2.0;
  std::vector<std::string> settings;
  for (int rank = 1; rank <= 4; ++rank) {
    ASSERT_TRUE(std::getline(lines, line));
    std::smatch row;
    ASSERT_TRUE(std::regex_match(line, row, std::regex(" +([0-9]+)  ([01]\\.[0-9]{4})  ([01]\\.[0-9]{4})  +[0-9]+\\.[0-9]{2}  (.*)")))
        << line;
    EXPECT_EQ(std::stoi(row[1]), rank);
    const double mean = std::stod(row[2]);
    EXPECT_LE(mean, previous);
    previous = mean;
    settings.push_back(row[4]);
  }
  // The sample's six categories are far apart: every setting labels most held-out articles.
  EXPECT_GT(previous, 0.5);
  std::sort(settings.begin(), settings.end());
  EXPECT_EQ(settings, (std::vector<std::string>{"classifier=linear terms=chars count=0",
                                                "classifier=linear terms=words count=0",
                                                "classifier=logistic terms=chars count=0",
                                                "classifier=logistic terms=words count=0"}));
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line.rfind("best: newsclass --train-range 1-120 --test-range 1-30 pipeline --classifier ", 0), 0u) << line;
  EXPECT_FALSE(std::getline(lines, line));
  // tune writes no file of the data folder, and --apply is what would.
  for (const char* file : {"dict.dat", "keywords.dat", "linear.model", "predictions.dat"}) {
    EXPECT_FALSE(std::filesystem::exists(data + "/" + file)) << file;
  }
}

TEST_F(TuneCommandTest, TheSameTableForAnyThreadCountAndAgainForTheSameSeed) {
  const std::vector<std::string> command = {"tune", "--folds", "4", "--grid",
                                            "c=0.5,2;terms=words+chars;count=0,200;measure=chi,df"};
  const testing::CommandResult one = run(command, "1");
  ASSERT_EQ(one.code, 0) << one.err;
  const testing::CommandResult three = run(command, "3");
  ASSERT_EQ(three.code, 0) << three.err;
  EXPECT_EQ(withoutSeconds(one.out), withoutSeconds(three.out));
  EXPECT_EQ(withoutSeconds(run(command, "2").out), withoutSeconds(one.out));
  // The KNN's neighbour search runs on the threads too.
  const std::vector<std::string> knn = {
      "tune", "--folds", "4", "--grid",
      "classifier=knn;k=3,9;vote=count,similarity;weighting=spec,tfidf;count=300"};
  const testing::CommandResult knnOne = run(knn, "1");
  ASSERT_EQ(knnOne.code, 0) << knnOne.err;
  EXPECT_EQ(std::count(knnOne.out.begin(), knnOne.out.end(), '\n'), 11);
  EXPECT_EQ(withoutSeconds(run(knn, "3").out), withoutSeconds(knnOne.out));
  std::vector<std::string> otherSeed = command;
  otherSeed.insert(otherSeed.end(), {"--seed", "99"});
  const testing::CommandResult other = run(otherSeed);
  ASSERT_EQ(other.code, 0);
  EXPECT_NE(withoutSeconds(other.out).substr(other.out.find('\n')),
            withoutSeconds(one.out).substr(one.out.find('\n')));
}

TEST_F(TuneCommandTest, CsvAndJsonHoldTheSameScores) {
  const std::vector<std::string> command = {"tune", "--folds", "3", "--grid", "c=1,2;count=0"};
  std::vector<std::string> csv = command;
  csv.insert(csv.end(), {"--format", "csv"});
  const testing::CommandResult table = run(csv);
  ASSERT_EQ(table.code, 0) << table.err;
  EXPECT_EQ(table.out.rfind("rank,mean,std,seconds,setting\n1,", 0), 0u) << table.out;
  EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 3);
  std::vector<std::string> json = command;
  json.insert(json.end(), {"--format", "json", "--metric", "accuracy"});
  const testing::CommandResult object = run(json);
  ASSERT_EQ(object.code, 0) << object.err;
  EXPECT_EQ(object.out.rfind("{\"metric\":\"accuracy\",\"folds\":3,\"seed\":1,\"settings\":[{\"setting\":\"c=", 0), 0u)
      << object.out;
  EXPECT_NE(object.out.find("\"best\":\"newsclass --train-range 1-120 --test-range 1-30 pipeline --classifier linear --c "),
            std::string::npos);
}

TEST_F(TuneCommandTest, WhatTuneCannotDoIsRefusedBeforeAnyWork) {
  EXPECT_EQ(run({"tune", "--grid", "c=abc"}).err, "newsclass: --grid: c=abc: expected a positive number\n");
  EXPECT_EQ(run({"tune", "--grid", "classifier=linear;vote=similarity"}).err,
            "newsclass: --grid: vote belongs to the KNN, not the linear classifier "
            "(classifier=linear vote=similarity)\n");
  EXPECT_EQ(run({"tune", "--grid", "classifier=knn;c=2"}).err,
            "newsclass: --grid: c belongs to the linear classifiers, not the KNN (classifier=knn c=2)\n");
  // Five folds of 120 articles: each trains on 96. The folds are known once the articles with
  // text are read, before any fold is scored.
  const testing::CommandResult tooMany = run({"tune", "--grid", "classifier=knn;k=96,97"});
  EXPECT_EQ(tooMany.code, 1);
  const std::string message =
      "newsclass: --grid: k=97: a fold trains on 96 articles, fewer than K (classifier=knn k=97)\n";
  EXPECT_EQ(tooMany.err.substr(tooMany.err.size() - std::min(tooMany.err.size(), message.size())),
            message);
  EXPECT_EQ(run({"tune", "--grid", "classifier=logistic;knn_weight=0.5"}).err,
            "newsclass: --grid: knn_weight: the neighbour blend raises the linear SVMs' decision "
            "values, not the logistic classifier's (classifier=logistic knn_weight=0.5)\n");
  EXPECT_EQ(run({"tune", "--folds", "1"}).code, 1);
  EXPECT_EQ(run({"tune", "--metric", "f1"}).code, 1);
}

// The data folder's files with each digest's modification time left out: the same bytes built at
// another moment compare equal.
std::string withoutTimes(const std::string& modelJson) {
  static const std::regex digest("\"([0-9]+) [0-9]+ ([0-9a-f]{16})");
  return std::regex_replace(modelJson, digest, "\"$1 $2");
}

TEST_F(TuneCommandTest, ApplyBuildsTheFilesPipelineBuildsWithTheBestSetting) {
  const testing::CommandResult tuned =
      run({"tune", "--folds", "3", "--grid",
           "classifier=linear,logistic;c=0.5,2;terms=words,words+chars;count=0,300", "--apply"});
  ASSERT_EQ(tuned.code, 0) << tuned.err;
  const size_t bestAt = tuned.out.find("best: newsclass --train-range 1-120 --test-range 1-30 pipeline ");
  ASSERT_NE(bestAt, std::string::npos) << tuned.out;
  EXPECT_NE(tuned.err.find("tune: applied the best setting to " + data), std::string::npos) << tuned.err;
  // The command line tune printed, run by pipeline in another folder over the same corpus.
  const std::string other = dir.file("other");
  std::vector<std::string> pipeline = testing::sampleCorpusArguments(other);
  pipeline.insert(pipeline.end(), {"--db", "Driver=SQLite3;Database=" + data + "/corpus.db", "-q"});
  std::istringstream words(tuned.out.substr(tuned.out.find(" pipeline ", bestAt) + 1));
  for (std::string word; words >> word;) pipeline.push_back(word);
  const testing::CommandResult built = testing::runCommand(pipeline);
  ASSERT_EQ(built.code, 0) << built.err;
  for (const char* file : {"dict.dat", "contingency.dat", "keywords.dat", "linear.model", "predictions.dat"}) {
    EXPECT_EQ(testing::readFileBytes(data + "/" + file), testing::readFileBytes(other + "/" + file))
        << file;
  }
  // model.json: pipeline's facts, and tune's record of the grid and its scores beside them.
  std::string applied = withoutTimes(testing::readFileBytes(data + "/model.json"));
  const std::string plain = withoutTimes(testing::readFileBytes(other + "/model.json"));
  std::smatch record;
  ASSERT_TRUE(std::regex_search(applied, record, std::regex("  \"tune_folds\": \"3\",\n  "
      "\"tune_grid\": \"classifier=linear,logistic;c=0.5,2;terms=words,words\\+chars;count=0,300\",\n  "
      "\"tune_metric\": \"macro-f1\",\n  \"tune_scores\": \"([^\"]*)\",\n  \"tune_seed\": \"1\",\n")))
      << applied;
  // Sixteen settings, best first, the best the one applied.
  const std::string scores = record[1];
  EXPECT_EQ(std::count(scores.begin(), scores.end(), ';'), 15) << scores;
  applied.erase(static_cast<size_t>(record.position(0)), static_cast<size_t>(record.length(0)));
  EXPECT_EQ(applied, plain);
  const testing::CommandResult report = run({"evaluate"});
  ASSERT_EQ(report.code, 0) << report.err;
  EXPECT_NE(report.out.find("\nTuned (model.json): macro-f1 " + scores.substr(0, scores.find(' ')) +
                            " (std "),
            std::string::npos)
      << report.out;
  // A KNN setting builds the vector files as pipeline does.
  const std::string knnData = dir.file("knn");
  const std::string knnOther = dir.file("knn-other");
  for (const std::string& folder : {knnData, knnOther}) {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(folder);
    arguments.insert(arguments.end(), {"--db", "Driver=SQLite3;Database=" + data + "/corpus.db", "-q"});
    if (folder == knnData) {
      arguments.insert(arguments.end(), {"tune", "--folds", "4", "--apply", "--grid",
                                         "classifier=knn;k=5,15;vote=count,similarity;"
                                         "weighting=spec,tfidf;count=400"});
    } else {
      const std::string knnTuned = testing::readFileBytes(knnData + "/model.json");
      ASSERT_NE(knnTuned.find("\"classifier\": \"knn\""), std::string::npos) << knnTuned;
      arguments.push_back("pipeline");
      for (const char* key : {"k", "vote", "weighting", "count"}) {
        std::smatch value;
        ASSERT_TRUE(std::regex_search(knnTuned, value,
                                      std::regex("\n  \"" + std::string(key) + "\": \"([^\"]+)\"")));
        arguments.insert(arguments.end(), {"--" + std::string(key), value[1]});
      }
    }
    const testing::CommandResult result = testing::runCommand(arguments);
    ASSERT_EQ(result.code, 0) << result.err;
  }
  for (const char* file : {"dict.dat", "contingency.dat", "keywords.dat", "trainingVSM.dat",
                           "testingVSM.dat", "predictions.dat"}) {
    EXPECT_EQ(testing::readFileBytes(knnData + "/" + file), testing::readFileBytes(knnOther + "/" + file))
        << file;
  }

  // Trained again by hand, the model no longer carries tune's record.
  ASSERT_EQ(run({"classify", "--classifier", "logistic", "--c", "3"}).code, 0);
  EXPECT_EQ(testing::readFileBytes(data + "/model.json").find("tune_"), std::string::npos);
}

}  // namespace
}  // namespace newsclass
