#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cmd_cli.h"
#include "corpusdb/odbc_connection.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::writeFileBytes;

// A corpus of already segmented English words: history and culture articles that share no
// word, so that every stage has a clear answer. The segmenter's tiny lexicon holds none of these
// words; the space tokeniser builds the dictionary and the testing texts split at their spaces
// all the same.
class PipelineCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string connection = sqliteConnectionString(dir.file("corpus.db"));
    testing::createCorpusTables(connection);
    std::vector<testing::TestArticle> training;
    for (int i = 0; i < 4; ++i) {
      training.push_back({2 * i + 1, "t", "history", "war king dynasty empire war battle"});
      training.push_back({2 * i + 2, "t", "culture", "music art film song art painting"});
    }
    testing::insertArticles(connection, "TrainingCorpus", training);
    testing::insertArticles(connection, "TestingCorpus",
                            {{1, "t", "history", "king war empire"},
                             {2, "t", "culture", "song film art"},
                             {3, "t", "culture", "painting music"},
                             {4, "t", "history", "battle dynasty"}});
    writeFileBytes(dir.file("stopwords.txt"), "the\n");
  }

  int run(std::vector<std::string> commandArguments, std::string& out, std::string& err) {
    std::vector<std::string> arguments = {
        "newsclass",   "--data-dir",         dir.path(),   "--categories",
        categories, "--console-encoding", "utf-8",  "--train-range",
        "1-8",         "--test-range",       "1-4",        "--stopwords",
        dir.file("stopwords.txt"), "--lexicon", lexicon, "--user-dict",
        dir.file("no-dict.txt"),   "--quiet"};
    arguments.insert(arguments.end(), commandArguments.begin(), commandArguments.end());
    testing::CommandResult result = testing::runCommand(arguments);
    out = result.out;
    err = result.err;
    return result.code;
  }

  testing::TempDir dir;
  std::string categories = "history,culture";
  std::string lexicon = "testdata/tiny_lexicon.txt";
};

TEST_F(PipelineCommandTest, RunsEveryStageAndPrintsTheReport) {
  std::string out, err;
  ASSERT_EQ(run({"pipeline", "--count", "20", "--k", "3", "--tokenizer", "space"}, out, err), 0)
      << err << out;
  for (const char* file : {"dict.dat", "contingency.dat", "keywords.dat", "trainingVSM.dat",
                           "testingVSM.dat", "predictions.dat"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.file(file))) << file;
  }
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")),
            "art\nbattle\ndynasty\nempire\nfilm\nking\nmusic\npainting\nsong\nwar\n");
  EXPECT_EQ(readFileBytes(dir.file("predictions.dat")),
            "1 history\n2 culture\n3 culture\n4 history\n");
  // One summary per stage, in order, each line matched on its own.
  const std::string seconds = "[0-9]+\\.[0-9]{2} s";
  const std::vector<std::string> expected = {
      "dictionary: 10 words, " + seconds + " -> DIR/dict\\.dat",
      "contingency table: 20 cells, " + seconds + " -> DIR/contingency\\.dat",
      "feature words: 10 words \\(chi\\), " + seconds + " -> DIR/keywords\\.dat",
      "training vectors: 8 vectors, " + seconds + " -> DIR/trainingVSM\\.dat",
      "testing vectors: 4 vectors, " + seconds + " -> DIR/testingVSM\\.dat",
      "classification: 4 articles, K = 3, " + seconds + " -> DIR/predictions\\.dat",
      "",
      "Evaluation of 4 predictions against TestingCorpus"};
  std::istringstream lines(out);
  std::string line;
  size_t next = 0;
  while (next < expected.size() && std::getline(lines, line)) {
    std::string pattern = expected[next];
    size_t folder = pattern.find("DIR");
    if (folder != std::string::npos) pattern.replace(folder, 3, dir.path());
    if (std::regex_match(line, std::regex(pattern))) {
      ++next;
    } else {
      // Stage lines may stand between two summaries, but the blank line and the report's title
      // follow the classification's summary directly.
      EXPECT_LT(next, 6u) << "unexpected line \"" << line << "\" after summary " << next;
    }
  }
  EXPECT_EQ(next, expected.size()) << out;
  EXPECT_NE(out.find("\naccuracy       1.0000     (4 of 4)\n"), std::string::npos) << out;
}

// With csv or json, standard output holds the report and nothing else: the same bytes that
// evaluate prints afterwards from predictions.dat. The stage summaries are on standard error.
TEST_F(PipelineCommandTest, ReportFormatsKeepStageLinesOffStandardOutput) {
  for (const char* format : {"json", "csv"}) {
    std::string out, err;
    ASSERT_EQ(
        run({"pipeline", "--count", "20", "--k", "3", "--tokenizer", "space", "--format", format},
            out, err),
        0)
        << err;
    std::string evaluateOut, evaluateErr;
    ASSERT_EQ(run({"evaluate", "--format", format}, evaluateOut, evaluateErr), 0) << evaluateErr;
    EXPECT_EQ(out, evaluateOut) << format;
    EXPECT_NE(err.find("\ndictionary: 10 words, "), std::string::npos) << err;
    EXPECT_NE(err.find("\nclassification: 4 articles, K = 3, "), std::string::npos) << err;
  }
  std::string out, err;
  ASSERT_EQ(
      run({"pipeline", "--count", "20", "--k", "3", "--tokenizer", "space", "--format", "json"},
          out, err),
      0);
  EXPECT_EQ(out.substr(0, 2), "{\n");
  EXPECT_EQ(out.substr(out.size() - 2), "}\n");
  // With text, the stage lines stay on standard output, before the report.
  ASSERT_EQ(run({"pipeline", "--count", "20", "--k", "3", "--tokenizer", "space"}, out, err), 0);
  EXPECT_EQ(err.find("dictionary: "), std::string::npos) << err;
  EXPECT_NE(out.find("dictionary: 10 words, "), std::string::npos) << out;
}

TEST_F(PipelineCommandTest, BadRequestsAreRefusedBeforeAnyStage) {
  std::string out, err;
  EXPECT_EQ(run({"pipeline", "--k", "9"}, out, err), 1);
  EXPECT_EQ(err, "newsclass: --k: K must lie between 1 and the number of training vectors (8, "
                 "the ids of --train-range), got 9\n");
  EXPECT_EQ(out, "");
  EXPECT_EQ(run({"pipeline", "--k", "0"}, out, err), 1);
  EXPECT_EQ(run({"pipeline", "--measure", "tfidf"}, out, err), 1);
  EXPECT_EQ(run({"pipeline", "--tokenizer", "words"}, out, err), 1);
  EXPECT_EQ(run({"pipeline", "--count", "-1"}, out, err), 1);
  for (const char* cost : {"0", "-0.5"}) {
    EXPECT_EQ(run({"pipeline", "--classifier", "linear", "--c", cost}, out, err), 1) << cost;
    EXPECT_EQ(err, "newsclass: --c: expected a positive number\n") << cost;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("dict.dat")));
}

// What the options decide with the ranges and the database is refused before the first stage
// writes: every file of the data folder, model.json included, stays as it was.
TEST_F(PipelineCommandTest, RefusedRequestsLeaveEveryDataFileUnchanged) {
  std::string out, err;
  ASSERT_EQ(run({"pipeline", "--count", "20", "--k", "3", "--tokenizer", "space"}, out, err), 0)
      << err;
  auto folderBytes = [this] {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      files[entry.path().filename().string()] = readFileBytes(entry.path().string());
    }
    return files;
  };
  const std::map<std::string, std::string> before = folderBytes();
  ASSERT_EQ(before.count("model.json"), 1u);
  // Four articles of each category over the eight ids of --train-range: a --count of 1 gives
  // each category a share of 0, so the selection would take no word after the dictionary and
  // the table had been rebuilt.
  for (const char* measure : {"chi", "ig", "mi", "cf"}) {
    EXPECT_EQ(run({"pipeline", "--measure", measure, "--count", "1", "--k", "3"}, out, err), 1)
        << measure;
    EXPECT_EQ(err, "newsclass: --count: every category's share of 1 over 8 training articles is 0 "
                   "(raise --count; 0 takes every word)\n");
    EXPECT_EQ(out, "");
  }
  EXPECT_EQ(run({"--db-timeout", "0", "pipeline", "--k", "3"}, out, err), 1);
  EXPECT_EQ(err, "newsclass: --db-timeout: expected a number of seconds from 0.001 to 86400\n");
  categories = "";
  EXPECT_EQ(run({"pipeline", "--k", "3"}, out, err), 1);
  EXPECT_EQ(err, "newsclass: --categories: the category list is empty\n");
  EXPECT_EQ(folderBytes(), before);
  // A share of 1 takes a word (with two categories chi-square ranks both alike, so both take
  // the same one); df ranks over all articles and takes --count words itself.
  categories = "history,culture";
  EXPECT_EQ(run({"pipeline", "--count", "2", "--k", "3", "--tokenizer", "space"}, out, err), 0)
      << err;
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")), "art\n");
  EXPECT_EQ(run({"pipeline", "--measure", "df", "--count", "1", "--k", "3", "--tokenizer",
                 "space"},
                out, err),
            0)
      << err;
}

TEST_F(PipelineCommandTest, CategoriesAbsentFromTrainingCorpusAreRefusedBeforeAnyStage) {
  writeFileBytes(dir.file("predictions.dat"), "1 sport\n");
  categories = "sport,economy";
  std::string out, err;
  EXPECT_EQ(run({"pipeline", "--k", "3", "--tokenizer", "space"}, out, err), 1);
  EXPECT_EQ(err, "newsclass: --categories: none of sport, economy occurs in TrainingCorpus, "
                 "whose categories are culture, history\n");
  EXPECT_EQ(out, "");
  EXPECT_FALSE(std::filesystem::exists(dir.file("dict.dat")));
  EXPECT_EQ(readFileBytes(dir.file("predictions.dat")), "1 sport\n");
}

TEST_F(PipelineCommandTest, MissingLexiconIsRefusedBeforeAnyFileIsWritten) {
  lexicon = dir.file("no-lexicon.txt");
  std::string out, err;
  EXPECT_EQ(run({"pipeline", "--k", "3", "--tokenizer", "space"}, out, err), 2);
  EXPECT_EQ(out, "ICTCLAS INIT FAILED!\n");
  EXPECT_EQ(err, "newsclass: " + lexicon + ": cannot read the segmenter's lexicon (--lexicon)\n");
  for (const char* file : {"dict.dat", "contingency.dat", "keywords.dat", "trainingVSM.dat",
                           "testingVSM.dat", "predictions.dat"}) {
    EXPECT_FALSE(std::filesystem::exists(dir.file(file))) << file;
  }
}

TEST_F(PipelineCommandTest, AFailingTestingHalfLeavesBothVectorFilesUnchanged) {
  writeFileBytes(dir.file("trainingVSM.dat"), "7\n1\n1 \n");
  writeFileBytes(dir.file("testingVSM.dat"), "9\n1\n1 \n");
  {
    OdbcConnection database(sqliteConnectionString(dir.file("corpus.db")), "test");
    database.executeStatement("DROP TABLE TestingCorpus");
  }
  std::string out, err;
  EXPECT_EQ(run({"pipeline", "--count", "20", "--k", "3", "--tokenizer", "space"}, out, err), 2);
  EXPECT_EQ(err.rfind("database error in buildTestingVsm: ", 0), 0u) << err;
  // The stages before it have written their files; the vector pair is the old one.
  EXPECT_TRUE(std::filesystem::exists(dir.file("keywords.dat")));
  EXPECT_EQ(readFileBytes(dir.file("trainingVSM.dat")), "7\n1\n1 \n");
  EXPECT_EQ(readFileBytes(dir.file("testingVSM.dat")), "9\n1\n1 \n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("predictions.dat")));
}

}  // namespace
}  // namespace newsclass
