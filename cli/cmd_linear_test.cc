// The linear classifier through the commands, on the sample corpus: pipeline and classify train
// the same model and write the same predictions, --explain shows the decision values, and bad
// option values are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

constexpr const char* kLexicon = "/usr/lib/python3/dist-packages/jieba/dict.txt";

class LinearCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
    ASSERT_EQ(run({"import", "sample/corpus.tsv"}).code, 0);
  }

  // `trainRange` replaces the sample's 1-120 when given.
  testing::CommandResult run(std::vector<std::string> command, const char* trainRange = nullptr,
                             const std::string& input = "") {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(data);
    if (trainRange != nullptr) arguments.at(4) = trainRange;
    arguments.insert(arguments.end(), {"-q"});
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments, input);
  }

  testing::TempDir dir;
  std::string data = dir.file("data");
};

TEST_F(LinearCommandTest, PipelineAndClassifyTrainTheSameModelAndPredictions) {
  testing::CommandResult pipeline =
      run({"pipeline", "--count", "0", "--classifier", "linear", "--format", "json"});
  ASSERT_EQ(pipeline.code, 0) << pipeline.err;
  // No vector file: the linear classifier learns from dict.dat and keywords.dat.
  EXPECT_FALSE(std::filesystem::exists(data + "/trainingVSM.dat"));
  const std::string model = testing::readFileBytes(data + "/linear.model");
  const std::string predictions = testing::readFileBytes(data + "/predictions.dat");
  EXPECT_EQ(model.rfind("solver_type L2R_L2LOSS_SVC_DUAL\nnr_class 6\n", 0), 0u) << model.substr(0, 80);
  EXPECT_EQ(std::count(predictions.begin(), predictions.end(), '\n'), 30);
  // The sample's categories are far apart: the linear model gets most testing articles right.
  const size_t accuracyAt = pipeline.out.find("\"accuracy\":");
  ASSERT_NE(accuracyAt, std::string::npos) << pipeline.out;
  EXPECT_GE(std::stod(pipeline.out.substr(accuracyAt + 11)), 0.8) << pipeline.out;

  std::filesystem::remove(data + "/linear.model");
  testing::CommandResult classify = run({"classify", "--classifier", "linear"});
  ASSERT_EQ(classify.code, 0) << classify.err;
  EXPECT_EQ(testing::readFileBytes(data + "/linear.model"), model);
  EXPECT_EQ(testing::readFileBytes(data + "/predictions.dat"), predictions);
  EXPECT_NE(classify.out.find("linear model: "), std::string::npos) << classify.out;

  // --explain: one line per category with its decision value, the predicted one the highest.
  // It writes nothing: linear.model keeps its bytes and stays the one model.json vouches for,
  // even when the article asked for has no text.
  const auto modelTime = std::filesystem::last_write_time(data + "/linear.model");
  testing::CommandResult missing = run({"classify", "--classifier", "linear", "--explain", "999"});
  EXPECT_EQ(missing.code, 1) << missing.err;
  EXPECT_EQ(missing.err, "newsclass: --explain: testing article 999 has no text in TestingCorpus\n");
  testing::CommandResult explained = run({"classify", "--classifier", "linear", "--explain", "3"});
  ASSERT_EQ(explained.code, 0) << explained.err;
  EXPECT_EQ(explained.out.find("linear model: "), std::string::npos) << explained.out;
  EXPECT_EQ(testing::readFileBytes(data + "/linear.model"), model);
  EXPECT_EQ(std::filesystem::last_write_time(data + "/linear.model"), modelTime);
  EXPECT_EQ(run({"evaluate"}).code, 0);
  std::istringstream lines(explained.out.substr(explained.out.find("testing article 3")));
  std::string heading, line, best;
  std::getline(lines, heading);
  double highest = -1e300;
  int categories = 0;
  while (std::getline(lines, line) && line.rfind("terms that", 0) != 0) {
    const size_t space = line.rfind(' ');
    const double value = std::stod(line.substr(space + 1));
    if (value > highest) {
      highest = value;
      best = line.substr(0, space);
    }
    ++categories;
  }
  EXPECT_EQ(categories, 6);
  EXPECT_NE(heading.find("predicted " + best + " (linear"), std::string::npos) << heading;
  // Then the ten terms that added most to the winner's decision value, largest first, and its
  // bias.
  EXPECT_EQ(line, "terms that added most to " + best + " (coefficient x weight):");
  std::vector<double> added;
  while (std::getline(lines, line) && line.rfind("  (bias) ", 0) != 0) {
    ASSERT_EQ(line.rfind("  ", 0), 0u) << line;
    added.push_back(std::stod(line.substr(line.rfind(' ') + 1)));
  }
  EXPECT_EQ(added.size(), 10u);
  EXPECT_TRUE(std::is_sorted(added.rbegin(), added.rend()));
  EXPECT_GT(added.front(), 0.0);
  EXPECT_EQ(line.rfind("  (bias) ", 0), 0u) << line;
  // Explaining writes no predictions.
  EXPECT_EQ(testing::readFileBytes(data + "/predictions.dat"), predictions);
}

TEST_F(LinearCommandTest, EvaluateTakesTheCategoriesFromTheFolderAndShowsHowItWasBuilt) {
  ASSERT_EQ(run({"--categories", "history,culture,reading", "pipeline", "--count", "0",
                 "--classifier", "linear", "--c", "0.5"})
                .code,
            0);
  const testing::CommandResult report = run({"evaluate"});
  ASSERT_EQ(report.code, 0) << report.err;
  EXPECT_NE(report.out.find("\nhistory "), std::string::npos) << report.out;
  // military is not among the recorded categories: it shows only as a stored category in the
  // confusion matrix, not in the per-category table.
  EXPECT_GT(report.out.find("\nmilitary "), report.out.find("Confusion matrix")) << report.out;
  EXPECT_NE(report.out.find("\nModel (model.json): table TrainingCorpus, train_range 1-120, "
                            "categories history,culture,reading, tokenizer segment, measure chi, "
                            "count 0, classifier linear, c 0.5\n"),
            std::string::npos)
      << report.out;
  // csv and json keep their fixed columns and keys.
  EXPECT_EQ(run({"evaluate", "--format", "json"}).out.find("model.json"), std::string::npos);
}

TEST_F(LinearCommandTest, TrainingAgainWithoutWeightsOrBlendDropsTheirKeys) {
  ASSERT_EQ(run({"pipeline", "--count", "0", "--classifier", "linear", "--class-weight",
                 "balanced", "--knn-weight", "0.5", "--k", "5"})
                .code,
            0);
  const std::string blended = testing::readFileBytes(data + "/model.json");
  EXPECT_NE(blended.find("\"class_weight\": \"balanced\""), std::string::npos) << blended;
  EXPECT_NE(blended.find("\"knn_weight\": \"0.5\""), std::string::npos) << blended;
  // The plain model replaces the blended one: model.json must describe it, or predict would
  // blend neighbours into a model trained without them.
  ASSERT_EQ(run({"classify", "--classifier", "linear"}).code, 0);
  const std::string plain = testing::readFileBytes(data + "/model.json");
  for (const char* key : {"\"class_weight\"", "\"knn_weight\"", "\"k\""}) {
    EXPECT_EQ(plain.find(key), std::string::npos) << key << " in " << plain;
  }
  const testing::CommandResult predicted = run({"predict", "--format", "tsv"}, nullptr,
                                               "\xd0\xc2\xce\xc5\n");
  EXPECT_EQ(predicted.code, 0) << predicted.err;
}

TEST_F(LinearCommandTest, ACategoryWithoutTrainingArticlesIsRefusedBeforeAnyFileIsWritten) {
  // military's articles lie beyond 1-40 (the sample lists 20 history, then 20 culture, ...).
  const std::vector<std::string> request = {"--categories", "history,culture,military"};
  std::vector<std::string> pipeline = request;
  pipeline.insert(pipeline.end(), {"pipeline", "--count", "0", "--classifier", "linear"});
  const testing::CommandResult refused = run(pipeline, "1-40");
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.err,
            "newsclass: --categories: military has no training article in TrainingCorpus ids "
            "1-40; the linear classifier needs one for every category (leave it out of "
            "--categories, or use --classifier knn)\n");
  // Checked before the first stage: not even the dictionary was built.
  EXPECT_FALSE(std::filesystem::exists(data + "/dict.dat"));
  EXPECT_FALSE(std::filesystem::exists(data + "/linear.model"));

  // KNN takes the same request; then classify with the linear classifier is refused the same
  // way and leaves the predictions as they were.
  std::vector<std::string> knn = request;
  knn.insert(knn.end(), {"pipeline", "--count", "0", "--k", "5"});
  ASSERT_EQ(run(knn, "1-40").code, 0);
  const std::string predictions = testing::readFileBytes(data + "/predictions.dat");
  std::vector<std::string> classify = request;
  classify.insert(classify.end(), {"classify", "--classifier", "linear"});
  const testing::CommandResult again = run(classify, "1-40");
  EXPECT_EQ(again.code, 1);
  EXPECT_EQ(again.err, refused.err);
  EXPECT_EQ(testing::readFileBytes(data + "/predictions.dat"), predictions);
  EXPECT_FALSE(std::filesystem::exists(data + "/linear.model"));
  // A name the table does not hold at all is refused the same way, by its name.
  const testing::CommandResult unknown =
      run({"--categories", "history,nosuch", "classify", "--classifier", "linear"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_EQ(unknown.err.rfind("newsclass: --categories: nosuch has no training article", 0), 0u)
      << unknown.err;
}

TEST_F(LinearCommandTest, EvaluateGivesTheLogLossOfTheLogisticProbabilitiesPredictGives) {
  ASSERT_EQ(run({"pipeline", "--count", "0", "--classifier", "logistic", "--c", "4"}).code, 0);
  // The testing articles' texts and stored categories, as predict's --tsv input.
  std::ifstream corpus("sample/corpus.tsv");
  std::string line, input;
  std::map<std::string, std::string> stored;
  int id = 0;
  while (std::getline(corpus, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() != 4 || fields[0] != "test") continue;
    stored[std::to_string(++id)] = fields[1];
    input += std::to_string(id) + "\t" + fields[3] + "\n";
  }
  const testing::CommandResult predicted =
      run({"predict", "--tsv", "--format", "tsv", "--top", "6"}, nullptr, input);
  ASSERT_EQ(predicted.code, 0) << predicted.err;
  double sum = 0.0;
  int articles = 0;
  std::istringstream answers(predicted.out);
  while (std::getline(answers, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 13u) << line;
    for (size_t i = 1; i < fields.size(); i += 2) {
      if (fields[i] == stored.at(fields[0])) sum -= std::log(std::stod(fields[i + 1]));
    }
    ++articles;
  }
  ASSERT_EQ(articles, 30);
  char expected[64];
  std::snprintf(expected, sizeof expected, "log loss: %.4f over 30 testing articles", sum / 30);
  const testing::CommandResult evaluated = run({"evaluate", "--log-loss"});
  ASSERT_EQ(evaluated.code, 0) << evaluated.err;
  EXPECT_NE(evaluated.out.find(std::string(expected) +
                               " (logistic probabilities of the stored category)\n"),
            std::string::npos)
      << evaluated.out;
  EXPECT_NE(evaluated.out.find("classifier logistic, c 4"), std::string::npos) << evaluated.out;
  // Only with logistic probabilities, and only in the text report.
  EXPECT_EQ(run({"evaluate", "--log-loss", "--format", "json"}).err,
            "newsclass: --log-loss: the log loss is printed with --format text only\n");
  ASSERT_EQ(run({"pipeline", "--count", "0", "--classifier", "linear"}).code, 0);
  const testing::CommandResult linear = run({"evaluate", "--log-loss"});
  EXPECT_EQ(linear.code, 1);
  EXPECT_EQ(linear.out, "");
  EXPECT_EQ(linear.err, "newsclass: --log-loss: needs the probabilities of --classifier "
                        "logistic; the folder's model (model.json) is linear\n");
}

TEST_F(LinearCommandTest, BadCostAndClassifierNamesAreRefused) {
  for (const char* cost : {"0", "-1", "0x1", "inf", "cheap"}) {
    testing::CommandResult result = run({"classify", "--classifier", "linear", "--c", cost});
    // Not a decimal number (the option's check) or not positive (the command's): one message.
    EXPECT_EQ(result.code, 1) << cost;
    EXPECT_EQ(result.err, "newsclass: --c: expected a positive number\n") << cost;
  }
  testing::CommandResult badName = run({"classify", "--classifier", "svm"});
  EXPECT_EQ(badName.code, 1);
  EXPECT_NE(badName.err.find("--classifier"), std::string::npos) << badName.err;
  // The neighbour blend and the class weights belong to the classifiers that have them, and
  // are refused before any stage writes a file.
  for (const char* weight : {"-1", "nan", "inf", "half"}) {
    EXPECT_EQ(run({"classify", "--classifier", "linear", "--knn-weight", weight}).err,
              "newsclass: --knn-weight: expected 0 or a positive number\n")
        << weight;
  }
  EXPECT_EQ(run({"pipeline", "--knn-weight", "0.5"}).err,
            "newsclass: --knn-weight: the knn classifier is all neighbours already (the blend is "
            "for --classifier linear)\n");
  EXPECT_EQ(run({"pipeline", "--classifier", "logistic", "--knn-weight", "0.5"}).err,
            "newsclass: --knn-weight: the neighbour blend raises the linear SVMs' decision values "
            "(--classifier linear), not the logistic classifier's\n");
  EXPECT_EQ(run({"classify", "--class-weight", "balanced"}).err,
            "newsclass: --class-weight: the knn classifier has no class weights (they are for "
            "--classifier linear and logistic)\n");
  EXPECT_FALSE(std::filesystem::exists(data + "/dict.dat"));
}

}  // namespace
}  // namespace newsclass
