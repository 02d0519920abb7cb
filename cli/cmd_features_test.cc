#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
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

// A data folder whose corpus has history articles 1-4 and culture articles 5-10, and a dict.dat
// over them; commands run with a GBK console, the training range 1-10 and those two categories.
class FeatureCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string connection = sqliteConnectionString(dir.file("corpus.db"));
    testing::createCorpusTables(connection);
    std::vector<testing::TestArticle> articles;
    for (int id = 1; id <= 10; ++id) {
      articles.push_back({id, "t", id <= 4 ? "history" : "culture", "x"});
    }
    testing::insertArticles(connection, "TrainingCorpus", articles);
    testing::insertArticles(connection, "TestingCorpus", {{1, "t", "history", "x"}});
  }

  void writeDictionary() {
    writeFileBytes(dir.file("dict.dat"),
                   "4\nh\n2\n1 1 ; 2 4 ; \nrare\n1\n4 1 ; \n"
                   "shared\n7\n1 1 ; 2 1 ; 3 1 ; 5 1 ; 6 1 ; 7 1 ; 8 1 ; \n" +
                       culture + "\n5\n5 1 ; 6 1 ; 7 1 ; 8 1 ; 9 2 ; \n");
  }

  RunResult run(std::vector<std::string> commandArguments) {
    std::vector<std::string> arguments = {"newsclass",    "--data-dir",      dir.path(),
                                          "--categories", "history,culture", "--console-encoding",
                                          "gbk",          "--train-range",   "1-10"};
    arguments.insert(arguments.end(), commandArguments.begin(), commandArguments.end());
    return testing::runCommand(arguments);
  }

  static std::string maskSeconds(const std::string& output) {
    return testing::maskTimingSeconds(output);
  }

  testing::TempDir dir;
  const std::string culture = gbk("文化");
  const std::string loadLine = gbk("将contingencyTable加载到内存的时间为#\n");
};

TEST_F(FeatureCommandsTest, BuildContingencyCountsEveryWordPerCategory) {
  writeDictionary();
  RunResult build = run({"build-contingency"});
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_EQ(build.err, "");
  EXPECT_EQ(maskSeconds(build.out), gbk("建立contingencyTable的时间为#\n") +
                                        "contingency table: 8 cells, saved to " +
                                        dir.file("contingency.dat") + "\n");
  EXPECT_EQ(readFileBytes(dir.file("contingency.dat")),
            "h culture 0 6\nh history 2 2\nrare culture 0 6\nrare history 1 3\n"
            "shared culture 4 2\nshared history 3 1\n" +
                culture + " culture 5 1\n" + culture + " history 0 4\n");

  RunResult other = run({"build-contingency", "--table", "TestingCorpus"});
  ASSERT_EQ(other.code, 0) << other.err;
  EXPECT_EQ(readFileBytes(dir.file("contingency.dat")),
            "h history 1 0\nrare history 0 1\nshared history 1 0\n" + culture + " history 0 1\n");
}

TEST_F(FeatureCommandsTest, BuildContingencyRefusesMissingDictionaryAndBadTable) {
  RunResult missing = run({"build-contingency"});
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find(dir.file("dict.dat")), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("contingency.dat")));

  writeDictionary();
  RunResult badTable = run({"build-contingency", "--table", "TrainingCorpus;"});
  EXPECT_EQ(badTable.code, 1);
  EXPECT_NE(badTable.err.find("TrainingCorpus;"), std::string::npos) << badTable.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("contingency.dat")));
}

TEST_F(FeatureCommandsTest, SelectFeaturesWritesKeywordsAndScores) {
  writeDictionary();
  ASSERT_EQ(run({"build-contingency"}).code, 0);
  const std::string scores = dir.file("scores.tsv");
  RunResult select =
      run({"select-features", "--measure", "cf", "--count", "5", "--scores", scores});
  ASSERT_EQ(select.code, 0) << select.err;
  EXPECT_EQ(select.err, "");
  // Quotas: history 4 * 5 / 10 = 2, culture 6 * 5 / 10 = 3; "shared" and "h" go to both.
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")), "h\nshared\n" + culture + "\n");
  EXPECT_EQ(maskSeconds(select.out),
            loadLine + gbk("为类别") + "history" + gbk("遴选特征词共用了#\n") + gbk("为类别") +
                "culture" + gbk("遴选特征词共用了#\n") + gbk("最后共选择特征词3\n") +
                gbk("遴选特征词共有了#\n") + "feature words (cf) saved to " +
                dir.file("keywords.dat") + "\nscores saved to " + scores + "\n");
  EXPECT_EQ(readFileBytes(scores),
            "category\trank\tword\tscore\n"
            "history\t1\tshared\t3\n"
            "history\t2\th\t2\n"
            "culture\t1\t文化\t5\n"
            "culture\t2\tshared\t4\n"
            "culture\t3\th\t0\n");

  RunResult chi = run({"select-features", "--scores", scores});
  ASSERT_EQ(chi.code, 0) << chi.err;
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")), "h\nrare\nshared\n" + culture + "\n");
  // Chi-square ignores the sign of the association, so both categories rank the same way.
  // history, N = 10: "h" has A=2, B=0, C=2, D=6, so 10 * 12^2 / (4 * 2 * 6 * 8) = 3.75.
  std::string expected = "category\trank\tword\tscore\n";
  for (const std::string category : {"history", "culture"}) {
    expected += category + "\t1\t文化\t6.666666666666667\n" + category + "\t2\th\t3.75\n" +
                category + "\t3\trare\t1.6666666666666667\n" + category +
                "\t4\tshared\t0.07936507936507936\n";
  }
  EXPECT_EQ(readFileBytes(scores), expected);
}

TEST_F(FeatureCommandsTest, ScoresThatAreNotNumbersAreWrittenAsNan) {
  // "all" is in every article of the range, so its chi-square has a zero margin.
  writeFileBytes(dir.file("dict.dat"),
                 "2\nall\n10\n1 1 ; 2 1 ; 3 1 ; 4 1 ; 5 1 ; 6 1 ; 7 1 ; 8 1 ; 9 1 ; 10 1 ; \n"
                 "h\n1\n1 1 ; \n");
  ASSERT_EQ(run({"build-contingency"}).code, 0);
  const std::string scores = dir.file("scores.tsv");
  RunResult select = run({"select-features", "--scores", scores});
  ASSERT_EQ(select.code, 0) << select.err;
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")), "all\nh\n");
  // h for history: A=1, B=0, C=3, D=6, and for culture: A=0, B=1, C=6, D=3; both give
  // 10 * 6^2 / 216.
  EXPECT_EQ(readFileBytes(scores),
            "category\trank\tword\tscore\n"
            "history\t1\th\t1.6666666666666667\nhistory\t2\tall\tnan\n"
            "culture\t1\th\t1.6666666666666667\nculture\t2\tall\tnan\n");
}

TEST_F(FeatureCommandsTest, EveryMeasureWritesTheKeywordFile) {
  writeDictionary();
  ASSERT_EQ(run({"build-contingency"}).code, 0);
  for (const char* measure : {"chi", "ig", "mi", "cf"}) {
    std::filesystem::remove(dir.file("keywords.dat"));
    RunResult select = run({"select-features", "--measure", measure, "--count", "4"});
    ASSERT_EQ(select.code, 0) << measure << ": " << select.err;
    EXPECT_NE(select.out.find(gbk("最后共选择特征词")), std::string::npos) << measure;
    EXPECT_FALSE(readFileBytes(dir.file("keywords.dat")).empty()) << measure;
  }
  RunResult df = run({"select-features", "--measure", "df", "--count", "2"});
  ASSERT_EQ(df.code, 0) << df.err;
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")), "shared\n" + culture + "\n");
  EXPECT_EQ(df.out, gbk("最后共选择特征词2\n") + "by the way,DFthreshold equals2\n" +
                        "feature words (df) saved to " + dir.file("keywords.dat") + "\n");
}

TEST_F(FeatureCommandsTest, SelectFeaturesNamesEveryMissingFile) {
  RunResult neither = run({"select-features"});
  EXPECT_EQ(neither.code, 2);
  EXPECT_NE(neither.err.find(dir.file("dict.dat")), std::string::npos) << neither.err;
  EXPECT_NE(neither.err.find(dir.file("contingency.dat")), std::string::npos) << neither.err;

  writeDictionary();
  RunResult noTable = run({"select-features", "--measure", "ig"});
  EXPECT_EQ(noTable.code, 2);
  EXPECT_NE(noTable.err.find(dir.file("contingency.dat")), std::string::npos) << noTable.err;
  EXPECT_EQ(noTable.err.find(dir.file("dict.dat")), std::string::npos) << noTable.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("keywords.dat")));
}

TEST_F(FeatureCommandsTest, SelectFeaturesRejectsBadRequests) {
  writeDictionary();
  ASSERT_EQ(run({"build-contingency"}).code, 0);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"select-features", "--measure", "tfidf"},
        {"select-features", "--count", "-1"},
        {"select-features", "--count", "many"},
        {"select-features", "--measure", "df", "--scores", dir.file("s.tsv")}}) {
    RunResult result = run(arguments);
    EXPECT_EQ(result.code, 1) << arguments.back() << ": " << result.err;
    EXPECT_FALSE(result.err.empty());
  }
  std::vector<std::string> emptyRange = {"newsclass",     "--data-dir", dir.path(),
                                         "--train-range", "5-4",        "select-features"};
  RunResult emptyRangeResult = testing::runCommand(emptyRange);
  EXPECT_EQ(emptyRangeResult.code, 1);
  EXPECT_NE(emptyRangeResult.err.find("5-4"), std::string::npos) << emptyRangeResult.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("keywords.dat")));
}

TEST_F(FeatureCommandsTest, ScoresAreNeverWrittenOverTheDataFolderFilesOrTheInputs) {
  writeDictionary();
  ASSERT_EQ(run({"build-contingency"}).code, 0);
  ASSERT_EQ(run({"select-features"}).code, 0);
  writeFileBytes(dir.file("stopwords.txt"), "the\n");
  const std::vector<std::string> owned = {"corpus.db", "dict.dat", "contingency.dat",
                                          "keywords.dat", "model.json"};
  std::vector<std::string> before;
  for (const std::string& name : owned) before.push_back(readFileBytes(dir.file(name)));
  std::filesystem::create_directory(dir.file("sub"));
  std::filesystem::create_symlink(dir.file("keywords.dat"), dir.file("link.tsv"));
  std::filesystem::create_hard_link(dir.file("dict.dat"), dir.file("hard.tsv"));
  struct Refused {
    std::string path;
    std::string owner;
  };
  const std::vector<Refused> refused = {
      {dir.file("corpus.db"), "the data folder's corpus.db"},
      {dir.file("keywords.dat"), "the data folder's keywords.dat"},
      {dir.file("sub") + "/../dict.dat", "the data folder's dict.dat"},
      {dir.file("link.tsv"), "the data folder's keywords.dat"},
      {dir.file("hard.tsv"), "the data folder's dict.dat"},
      // Not there yet, but a later stage writes it in the data folder.
      {dir.file("sub") + "/../linear.model", "the data folder's linear.model"},
  };
  for (const Refused& bad : refused) {
    RunResult result = run({"select-features", "--scores", bad.path});
    EXPECT_EQ(result.code, 1) << bad.path << ": " << result.err;
    EXPECT_EQ(result.err,
              "newsclass: --scores: " + bad.path + " is " + bad.owner + "; name another file\n");
  }
  std::vector<std::string> arguments = {"newsclass", "--data-dir", dir.path(), "--categories",
                                        "history,culture", "--train-range", "1-10",
                                        "--stopwords", dir.file("stopwords.txt"),
                                        "select-features", "--scores", dir.file("stopwords.txt")};
  RunResult input = testing::runCommand(arguments);
  EXPECT_EQ(input.code, 1);
  EXPECT_EQ(input.err, "newsclass: --scores: " + dir.file("stopwords.txt") +
                           " is the input file " + dir.file("stopwords.txt") +
                           "; name another file\n");
  for (size_t i = 0; i < owned.size(); ++i) {
    EXPECT_EQ(readFileBytes(dir.file(owned[i])), before[i]) << owned[i];
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("linear.model")));
  EXPECT_EQ(readFileBytes(dir.file("stopwords.txt")), "the\n");
  // Another file of the data folder is the user's own.
  RunResult own = run({"select-features", "--scores", dir.file("scores.tsv")});
  EXPECT_EQ(own.code, 0) << own.err;
}

TEST_F(FeatureCommandsTest, ContingencyOfNoListedCategoryIsRefusedAndChangesNothing) {
  writeDictionary();
  ASSERT_EQ(run({"build-contingency"}).code, 0);
  const std::string table = readFileBytes(dir.file("contingency.dat"));
  std::vector<std::string> arguments = {"newsclass",    "--data-dir",   dir.path(),
                                        "--categories", "sport,art",   "--train-range",
                                        "1-10",         "build-contingency"};
  RunResult result = testing::runCommand(arguments);
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.err,
            "newsclass: --categories: none of sport, art occurs in TrainingCorpus, whose "
            "categories are culture, history\n");
  EXPECT_EQ(readFileBytes(dir.file("contingency.dat")), table);
}

TEST_F(FeatureCommandsTest, ASelectionOfNoWordIsRefusedAndKeepsTheKeywords) {
  writeDictionary();
  ASSERT_EQ(run({"build-contingency"}).code, 0);
  ASSERT_EQ(run({"select-features"}).code, 0);
  const std::string keywords = readFileBytes(dir.file("keywords.dat"));
  // One word shared among 10 articles: every category's share truncates to 0.
  RunResult result = run({"select-features", "--count", "1"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.file("keywords.dat") +
                            ": no feature word selected: every category's share of 1 over 10 "
                            "training articles is 0 (raise --count; 0 takes every word)\n");
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")), keywords);
}

TEST_F(FeatureCommandsTest, HelpShowsTheDefaults) {
  RunResult select = run({"select-features", "--help"});
  EXPECT_EQ(select.code, 0);
  for (const char* expected : {"--measure", "=chi", "--count", "=1000", "--scores"}) {
    EXPECT_NE(select.out.find(expected), std::string::npos) << expected << "\n" << select.out;
  }
  RunResult build = run({"build-contingency", "--help"});
  EXPECT_EQ(build.code, 0);
  EXPECT_NE(build.out.find("=TrainingCorpus"), std::string::npos) << build.out;
}

}  // namespace
}  // namespace newsclass
