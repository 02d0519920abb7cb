#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
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

// Every row of both tables, "table id title category text", in id order.
std::vector<std::string> corpusRows(const std::string& databasePath) {
  OdbcConnection connection(sqliteConnectionString(databasePath), "check");
  std::vector<std::string> result;
  for (const char* table : {"TrainingCorpus", "TestingCorpus"}) {
    RowCursor rows = connection.execute(
        std::string("select ArticleId, CArticleName, Categorization, CAbstract from ") + table +
        " order by ArticleId");
    for (; !rows.atEnd(); rows.moveNext()) {
      result.push_back(std::string(table) + " " + rows.text("ArticleId") + " " +
                       rows.text("CArticleName") + " " + rows.text("Categorization") + " " +
                       rows.text("CAbstract"));
    }
  }
  return result;
}

const char* const kCorpus =
    "split\tcategory\ttitle\ttext\n"
    "train\thistory\t长安\t坊墙遗址\n"
    "train\tculture\t戏曲\t昆曲演出\n"
    "test\thistory\t殷墟\t甲骨文\n"
    "train\thistory\t敦煌\t壁画修复\n";

class ImportCommandTest : public ::testing::Test {
 protected:
  std::string dataDir() const { return dir.file("data"); }
  std::string database() const { return dir.file("data/corpus.db"); }
  TempDir dir;
};

TEST_F(ImportCommandTest, ImportsIntoANewDataFolderAndPrintsTheCounts) {
  const std::string file = dir.file("corpus.tsv");
  testing::writeFileBytes(file, kCorpus);
  RunResult result = run({"--data-dir", dataDir(), "--console-encoding", "utf-8", "import", file});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_EQ(result.out,
            "imported 4 articles from " + file +
                "\n"
                "TrainingCorpus: 3 articles (ids 1-3)\n"
                "  history: 2\n"
                "  culture: 1\n"
                "TestingCorpus: 1 articles (ids 1-1)\n"
                "  history: 1\n");
  EXPECT_EQ(result.err, "");  // no progress bar when standard error is not a terminal
  EXPECT_EQ(corpusRows(database()),
            (std::vector<std::string>{
                "TrainingCorpus 1 " + gbk("长安 history 坊墙遗址"),
                "TrainingCorpus 2 " + gbk("戏曲 culture 昆曲演出"),
                "TrainingCorpus 3 " + gbk("敦煌 history 壁画修复"),
                "TestingCorpus 1 " + gbk("殷墟 history 甲骨文"),
            }));
}

TEST_F(ImportCommandTest, GbkFileImportsLikeItsUtf8Twin) {
  const std::string file = dir.file("corpus-gbk.tsv");
  testing::writeFileBytes(file, utf8ToGbk(kCorpus));
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", file}).code, 0);
  std::vector<std::string> fromGbk = corpusRows(database());
  std::filesystem::remove(database());

  const std::string utf8File = dir.file("corpus.tsv");
  testing::writeFileBytes(utf8File, kCorpus);
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", utf8File}).code, 0);
  EXPECT_EQ(corpusRows(database()), fromGbk);
  EXPECT_EQ(fromGbk.size(), 4u);
}

TEST_F(ImportCommandTest, SecondImportAppendsAndReplaceStartsOver) {
  const std::string file = dir.file("corpus.tsv");
  testing::writeFileBytes(file, kCorpus);
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", file}).code, 0);
  RunResult again = run({"--data-dir", dataDir(), "import", file});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_NE(again.out.find("TrainingCorpus: 3 articles (ids 4-6)\n"), std::string::npos)
      << again.out;
  EXPECT_EQ(corpusRows(database()).size(), 8u);

  RunResult replaced = run({"--data-dir", dataDir(), "import", "--replace", file});
  ASSERT_EQ(replaced.code, 0) << replaced.err;
  EXPECT_NE(replaced.out.find("TrainingCorpus: 3 articles (ids 1-3)\n"), std::string::npos);
  EXPECT_EQ(corpusRows(database()).size(), 4u);
}

TEST_F(ImportCommandTest, BadLineInTheMiddleChangesNothing) {
  const std::string good = dir.file("good.tsv");
  testing::writeFileBytes(good, kCorpus);
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", good}).code, 0);
  const std::vector<std::string> before = corpusRows(database());
  const std::string databaseBytes = testing::readFileBytes(database());

  const std::string bad = dir.file("bad.tsv");
  testing::writeFileBytes(bad,
                          "train\thistory\ta\tb\n"
                          "test\tculture\tc\td\n"
                          "train\tmilitary\tonly three fields\n"
                          "train\thistory\te\tf\n");
  for (bool replace : {false, true}) {
    std::vector<std::string> arguments = {"--data-dir", dataDir(), "import", bad};
    if (replace) arguments.push_back("--replace");
    RunResult result = run(arguments);
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "newsclass: " + bad +
                              ":3: expected 4 tab-separated fields (split, category, title, "
                              "text), found 3\n");
    EXPECT_EQ(corpusRows(database()), before);
    EXPECT_EQ(testing::readFileBytes(database()), databaseBytes);
  }
}

TEST_F(ImportCommandTest, ReplacingWithAFileOfNoArticleChangesNothing) {
  const std::string good = dir.file("good.tsv");
  testing::writeFileBytes(good, kCorpus);
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", good}).code, 0);
  const std::string databaseBytes = testing::readFileBytes(database());
  const std::string empty = dir.file("empty.tsv");
  testing::writeFileBytes(empty, "");
  const std::string header = dir.file("header.tsv");
  testing::writeFileBytes(header, "split\tcategory\ttitle\ttext\n\n");
  for (const std::string& file : {empty, header, std::string("/dev/null")}) {
    RunResult result = run({"--data-dir", dataDir(), "import", "--replace", file});
    EXPECT_EQ(result.code, 1) << file;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "newsclass: import --replace: " + file +
                              " holds no article; refusing to empty TrainingCorpus and "
                              "TestingCorpus\n");
    EXPECT_EQ(corpusRows(database()).size(), 4u);
    EXPECT_EQ(testing::readFileBytes(database()), databaseBytes);
  }
  // Without --replace nothing is emptied, so a file of no article imports nothing.
  RunResult appended = run({"--data-dir", dataDir(), "import", empty});
  EXPECT_EQ(appended.code, 0) << appended.err;
  EXPECT_EQ(corpusRows(database()).size(), 4u);
}

TEST_F(ImportCommandTest, MissingFileAndMissingArgument) {
  RunResult missing = run({"--data-dir", dataDir(), "import", dir.file("none.tsv")});
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.err, "newsclass: " + dir.file("none.tsv") + ": cannot open for reading\n");
  EXPECT_FALSE(std::filesystem::exists(database()));

  RunResult noFile = run({"--data-dir", dataDir(), "import"});
  EXPECT_EQ(noFile.code, 1);
}

TEST_F(ImportCommandTest, DatabaseFaultIsOneLineWithoutPassword) {
  const std::string file = dir.file("corpus.tsv");
  testing::writeFileBytes(file, kCorpus);
  RunResult result =
      run({"--db", "Driver=NoSuchDriverForNewsclass;UID=sa;PWD=pw4mzqe", "import", file});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err.rfind("database error in import: [", 0), 0u) << result.err;
  EXPECT_EQ(result.err.find("pw4mzqe"), std::string::npos) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

// Rows of both tables, counted by the database itself.
std::string rowCounts(const std::string& databasePath) {
  OdbcConnection connection(sqliteConnectionString(databasePath), "check");
  return connection.execute("select (select count(*) from TrainingCorpus) || '/' || "
                            "(select count(*) from TestingCorpus) as n")
      .text("n");
}

TEST_F(ImportCommandTest, RefusedLinesNameFileAndLineAndImportNothing) {
  const std::string good = dir.file("good.tsv");
  testing::writeFileBytes(good, kCorpus);
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", good}).code, 0);
  ASSERT_EQ(rowCounts(database()), "3/1");

  const std::string utf8Line = "train\thistory\t长安\t坊墙遗址\n";
  const std::string file = dir.file("bad.tsv");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {utf8Line + "test\tsociety law\tt\tx\n" + utf8Line,
       ":2: category \"society law\" holds white space, which the data files use as a "
       "separator"},
      {utf8Line + utf8Line + gbk(utf8Line),
       ":3: not valid UTF-8 (byte 15 is 0xB3), but the file is UTF-8; is this line in another "
       "encoding?"},
      {utf8Line + std::string("train\thistory\tt\tcut\0here\n", 26), ":2: field text holds a NUL byte"},
  };
  for (const auto& [bytes, message] : cases) {
    testing::writeFileBytes(file, bytes);
    RunResult result = run({"--data-dir", dataDir(), "import", "--replace", file});
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "newsclass: " + file + message + "\n");
    EXPECT_EQ(rowCounts(database()), "3/1");
  }
}

TEST_F(ImportCommandTest, AFolderIsNamedAsSuch) {
  RunResult result = run({"--data-dir", dataDir(), "import", dir.path()});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + dir.path() + ": is a folder\n");
  EXPECT_FALSE(std::filesystem::exists(database()));
}

TEST_F(ImportCommandTest, DataFolderWithASemicolonHoldsTheDatabase) {
  const std::string file = dir.file("corpus.tsv");
  testing::writeFileBytes(file, kCorpus);
  const std::string folder = dir.file("x;Driver=Foo");
  RunResult result = run({"--data-dir", folder, "import", file});
  ASSERT_EQ(result.code, 0) << result.err;
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/corpus.db"));
  EXPECT_EQ(corpusRows(folder + "/corpus.db").size(), 4u);
  // Nothing was created beside it (the driver would take "x" as the database file).
  EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
  RunResult shown = run({"--data-dir", folder, "--console-encoding", "utf-8", "show", "3"});
  EXPECT_EQ(shown.code, 0) << shown.err;
  EXPECT_NE(shown.out.find("壁画修复"), std::string::npos) << shown.out;
}

TEST_F(ImportCommandTest, DataFoldersNamedBeyondAsciiHoldTheDatabase) {
  const std::string file = dir.file("corpus.tsv");
  testing::writeFileBytes(file, kCorpus);
  for (const std::string name : {"数据", "caf\xC3\xA9", "a b数据;x"}) {
    const std::string folder = dir.file(name);
    RunResult result = run({"--data-dir", folder, "import", file});
    ASSERT_EQ(result.code, 0) << name << ": " << result.err;
    EXPECT_EQ(corpusRows(folder + "/corpus.db").size(), 4u) << name;
    RunResult shown = run({"--data-dir", folder, "--console-encoding", "utf-8", "show", "3"});
    EXPECT_EQ(shown.code, 0) << name << ": " << shown.err;
    EXPECT_NE(shown.out.find("壁画修复"), std::string::npos) << shown.out;
  }
}

TEST_F(ImportCommandTest, LockedDatabaseFailsAfterTheTimeoutInsteadOfWaiting) {
  const std::string file = dir.file("corpus.tsv");
  testing::writeFileBytes(file, kCorpus);
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", file}).code, 0);
  {
    OdbcConnection holder(sqliteConnectionString(database()), "holder");
    holder.executeStatement("BEGIN EXCLUSIVE");
    RunResult imported = run({"--data-dir", dataDir(), "--db-timeout", "1", "import", file});
    EXPECT_EQ(imported.code, 2);
    EXPECT_EQ(imported.out, "");
    EXPECT_EQ(imported.err, "database error in import: [HY000] [SQLite]database is locked (5)\n");
    RunResult shown = run({"--data-dir", dataDir(), "--db-timeout", "0.2", "show", "1"});
    EXPECT_EQ(shown.code, 2);
    EXPECT_EQ(shown.err, "database error in fetchArticleRecord: [HY000] [SQLite]database is locked (5)\n");
  }
  EXPECT_EQ(rowCounts(database()), "3/1");

  // Out of range, or not a decimal number (CLI11 alone would take hexadecimal and "inf").
  for (const char* bad : {"0", "-1", "1e9", "0x10", "inf", "nan", "1.5s"}) {
    RunResult result = run({"--data-dir", dataDir(), "--db-timeout", bad, "import", file});
    EXPECT_EQ(result.code, 1) << bad;
    EXPECT_EQ(result.err, "newsclass: --db-timeout: expected a number of seconds from 0.001 to 86400\n");
  }
  EXPECT_EQ(run({"--data-dir", dataDir(), "--db-timeout", "soon", "import", file}).code, 1);
  EXPECT_EQ(rowCounts(database()), "3/1");
}

TEST_F(ImportCommandTest, IdBeyond32BitsIsRefusedNotWrapped) {
  const std::string file = dir.file("corpus.tsv");
  testing::writeFileBytes(file, kCorpus);
  ASSERT_EQ(run({"--data-dir", dataDir(), "import", file}).code, 0);
  {
    OdbcConnection connection(sqliteConnectionString(database()), "setup");
    connection.executeStatement("update TrainingCorpus set ArticleId = 3000000000 where ArticleId = 2");
  }
  RunResult imported = run({"--data-dir", dataDir(), "import", file});
  EXPECT_EQ(imported.code, 2);
  EXPECT_EQ(imported.err,
            "database error in import: [22003] HighestArticleId value \"3000000000\" is outside "
            "the 32-bit integer range (query: select coalesce(max(ArticleId), 0) as "
            "HighestArticleId from TrainingCorpus)\n");
  EXPECT_EQ(rowCounts(database()), "3/1");

  testing::writeFileBytes(dataDir() + "/dict.dat", "0\n");
  RunResult counted = run({"--data-dir", dataDir(), "--categories", "history,culture", "-q",
                           "build-contingency"});
  EXPECT_EQ(counted.code, 2);
  EXPECT_EQ(counted.err,
            "database error in collectCategoryArticles: [22003] ArticleId value \"3000000000\" is "
            "outside the 32-bit integer range (query: select ArticleId from TrainingCorpus where "
            "Categorization='culture')\n");
}

}  // namespace
}  // namespace newsclass
