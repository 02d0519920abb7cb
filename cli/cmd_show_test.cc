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

using testing::TempDir;

using RunResult = testing::CommandResult;

RunResult run(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "newsclass");
  return testing::runCommand(arguments);
}

class ShowCommandTest : public ::testing::Test {
 protected:
  ShowCommandTest() {
    const std::string connectionString = sqliteConnectionString(dir.file("corpus.db"));
    testing::createCorpusTables(connectionString);
    testing::insertArticles(connectionString, "TrainingCorpus",
                            {{3, gbk(" 唐代长安 "), "history", gbk("坊墙遗址。 ")}});
    testing::insertArticles(connectionString, "TestingCorpus",
                            {{3, "t", "culture", "x"}});
  }
  TempDir dir;
};

TEST_F(ShowCommandTest, PrintsTheTrimmedArticleInTheConsoleEncoding) {
  RunResult utf8 = run({"--data-dir", dir.path(), "--console-encoding", "utf-8", "show", "3"});
  ASSERT_EQ(utf8.code, 0) << utf8.err;
  EXPECT_EQ(utf8.out,
            "TrainingCorpus 3\n"
            "title: 唐代长安\n"
            "category: history\n"
            "text: 坊墙遗址。\n");
  RunResult gbkBytes = run({"--data-dir", dir.path(), "--console-encoding", "gbk", "show", "3"});
  EXPECT_EQ(gbkBytes.out, utf8ToGbk(utf8.out));

  RunResult testing = run({"--data-dir", dir.path(), "--console-encoding", "utf-8", "show", "3",
                           "--table", "TestingCorpus"});
  EXPECT_EQ(testing.out, "TestingCorpus 3\ntitle: t\ncategory: culture\ntext: x\n");
}

TEST_F(ShowCommandTest, MissingIdIsADatabaseError) {
  RunResult result = run({"--data-dir", dir.path(), "show", "42"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "database error in fetchArticleRecord: [02000] TrainingCorpus has no article with "
            "ArticleId 42\n");
}

TEST_F(ShowCommandTest, BadIdOrTableIsAUsageError) {
  for (const char* id : {"x", "3.5", "99999999999", "-2147483649", "0x10", " 7"}) {
    RunResult result = run({"--data-dir", dir.path(), "show", id});
    EXPECT_EQ(result.code, 1) << id;
    EXPECT_EQ(result.err, std::string("newsclass: ID: expected a whole number from -2147483648 to "
                                      "2147483647, got ") +
                              id + "\n");
  }
  RunResult empty = run({"--data-dir", dir.path(), "show", ""});
  EXPECT_EQ(empty.code, 1);
  EXPECT_EQ(empty.err,
            "newsclass: ID: expected a whole number from -2147483648 to 2147483647, "
            "got \"\"\n");
  RunResult table = run({"--data-dir", dir.path(), "show", "3", "--table", "x y"});
  EXPECT_EQ(table.code, 1);
  EXPECT_NE(table.err.find("\"x y\" is not an identifier"), std::string::npos) << table.err;
}

TEST(ShowCommandMissingDatabaseTest, SaysToImportAndCreatesNothing) {
  TempDir dir;
  RunResult result = run({"--data-dir", dir.file("data"), "show", "1"});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "database error in fetchArticleRecord: [08001] database file " +
                            dir.file("data/corpus.db") +
                            " does not exist; import a corpus first (newsclass import FILE)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
}

}  // namespace
}  // namespace newsclass
