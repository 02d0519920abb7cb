#include "corpusdb/corpus_import.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "corpusdb/odbc_connection.h"
#include "driver/encoding.h"
#include "driver/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TempDir;

// Every row of a table as "id|title|category|text", in id order.
std::vector<std::string> tableRows(const std::string& connectionString, const std::string& table) {
  OdbcConnection connection(connectionString, "check");
  RowCursor rows = connection.execute(
      "select ArticleId, CArticleName, Categorization, CAbstract from " + table +
      " order by ArticleId");
  std::vector<std::string> result;
  for (; !rows.atEnd(); rows.moveNext()) {
    result.push_back(rows.text("ArticleId") + "|" + rows.text("CArticleName") + "|" +
                     rows.text("Categorization") + "|" + rows.text("CAbstract"));
  }
  return result;
}

bool tableExists(const std::string& connectionString, const std::string& table) {
  OdbcConnection connection(connectionString, "check");
  RowCursor rows = connection.execute(
      "select count(*) as n from sqlite_master where type='table' and name='" + table + "'");
  return rows.text("n") == "1";
}

std::string parseError(const std::string& bytes) {
  try {
    parseCorpusFile(bytes, "corpus.tsv");
  } catch (const DataFileError& error) {
    return error.what();
  }
  return "no error";
}

TEST(ParseCorpusFileTest, ReadsUtf8WithHeaderBomAndCrlf) {
  const std::string file =
      "\xEF\xBB\xBFSplit\tCategory\tTitle\tText\r\n"
      "train\thistory\t唐代长安\t考古队发掘坊墙。\r\n"
      "\r\n"
      "test\t society&law \t\t法院审理 案件\n"
      "train\tit's\tt\tx";
  std::vector<CorpusLine> lines = parseCorpusFile(file, "corpus.tsv");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].lineNumber, 2);
  EXPECT_TRUE(lines[0].training);
  EXPECT_EQ(lines[0].category, "history");
  EXPECT_EQ(lines[0].title, gbk("唐代长安"));
  EXPECT_EQ(lines[0].text, gbk("考古队发掘坊墙。"));
  EXPECT_EQ(lines[1].lineNumber, 4);
  EXPECT_FALSE(lines[1].training);
  EXPECT_EQ(lines[1].category, "society&law");  // blanks around a category are dropped
  EXPECT_EQ(lines[1].title, "");
  EXPECT_EQ(lines[1].text, gbk("法院审理 案件"));
  EXPECT_EQ(lines[2].category, "it's");
  EXPECT_EQ(lines[2].text, "x");
}

TEST(ParseCorpusFileTest, GbkFileIsTakenAsItIs) {
  const std::string file = "train\t" + gbk("军事") + "\t" + gbk("演习") + "\t" +
                           gbk("部队在高原开展实战化训练。") + "\n";
  ASSERT_FALSE(isValidUtf8(file));
  std::vector<CorpusLine> lines = parseCorpusFile(file, "corpus.tsv");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].category, gbk("军事"));
  EXPECT_EQ(lines[0].title, gbk("演习"));
  EXPECT_EQ(lines[0].text, gbk("部队在高原开展实战化训练。"));
}

TEST(ParseCorpusFileTest, HeaderOnlyOnTheFirstLine) {
  // A later line that looks like the header is an article line with an unknown split.
  EXPECT_EQ(parseError("train\ta\tb\tc\nsplit\tcategory\ttitle\ttext\n"),
            "corpus.tsv:2: unknown split \"split\" (expected train or test)");
  EXPECT_TRUE(parseCorpusFile("split\tcategory\ttitle\ttext\n", "corpus.tsv").empty());
}

TEST(ParseCorpusFileTest, MalformedLinesNameFileAndLine) {
  EXPECT_EQ(parseError("train\ta\tb\tc\ntrain\ta\tb\n"),
            "corpus.tsv:2: expected 4 tab-separated fields (split, category, title, text), "
            "found 3");
  EXPECT_EQ(parseError("train\ta\tb\tc\td\n"),
            "corpus.tsv:1: expected 4 tab-separated fields (split, category, title, text), "
            "found 5");
  EXPECT_EQ(parseError("\n\ndev\ta\tb\tc\n"),
            "corpus.tsv:3: unknown split \"dev\" (expected train or test)");
  EXPECT_EQ(parseError("Train\ta\tb\tc\n"),
            "corpus.tsv:1: unknown split \"Train\" (expected train or test)");
  EXPECT_EQ(parseError("train\ta\tb\tc\ntest\t  \tb\tc\n"), "corpus.tsv:2: empty category");
  // A split in GBK is shown in UTF-8.
  EXPECT_EQ(parseError(gbk("训练") + "\ta\tb\tc\n"),
            "corpus.tsv:1: unknown split \"训练\" (expected train or test)");
}

class ImportTest : public ::testing::Test {
 protected:
  ImportTest() : connectionString(sqliteConnectionString(dir.file("corpus.db"))) {}

  ImportResult import(const std::string& file, bool replace) {
    return importArticles(connectionString, parseCorpusFile(file, "corpus.tsv"), replace);
  }

  TempDir dir;
  std::string connectionString;
};

TEST_F(ImportTest, CreatesDatabaseAndTablesAndNumbersEachSplitFromOne) {
  ImportResult result = import(
      "train\thistory\tt1\ta\n"
      "test\tculture\tt2\tb\n"
      "train\tculture\tt3\tc\n"
      "train\thistory\tt4\td\n",
      false);
  EXPECT_EQ(tableRows(connectionString, "TrainingCorpus"),
            (std::vector<std::string>{"1|t1|history|a", "2|t3|culture|c", "3|t4|history|d"}));
  EXPECT_EQ(tableRows(connectionString, "TestingCorpus"),
            (std::vector<std::string>{"1|t2|culture|b"}));
  EXPECT_EQ(result.trainingArticles, 3);
  EXPECT_EQ(result.testingArticles, 1);
  EXPECT_EQ(result.firstTrainingId, 1);
  EXPECT_EQ(result.firstTestingId, 1);
  ASSERT_EQ(result.counts.size(), 3u);
  EXPECT_EQ(result.counts[0].table + " " + result.counts[0].category + " " +
                std::to_string(result.counts[0].articles),
            "TrainingCorpus history 2");
  EXPECT_EQ(result.counts[1].table + " " + result.counts[1].category + " " +
                std::to_string(result.counts[1].articles),
            "TrainingCorpus culture 1");
  EXPECT_EQ(result.counts[2].table + " " + result.counts[2].category + " " +
                std::to_string(result.counts[2].articles),
            "TestingCorpus culture 1");
}

TEST_F(ImportTest, AppendsAfterTheHighestIdOrReplaces) {
  testing::createCorpusTables(connectionString);
  testing::insertArticles(connectionString, "TrainingCorpus", {{7, "old", "history", "x"}});
  ImportResult appended = import("train\treading\tnew\ty\ntest\treading\tnew\tz\n", false);
  EXPECT_EQ(appended.firstTrainingId, 8);
  EXPECT_EQ(appended.firstTestingId, 1);
  EXPECT_EQ(tableRows(connectionString, "TrainingCorpus"),
            (std::vector<std::string>{"7|old|history|x", "8|new|reading|y"}));

  import("train\tmilitary\tr\tw\n", true);
  EXPECT_EQ(tableRows(connectionString, "TrainingCorpus"),
            (std::vector<std::string>{"1|r|military|w"}));
  EXPECT_TRUE(tableRows(connectionString, "TestingCorpus").empty());
}

TEST_F(ImportTest, GbkTextIsStoredUnchanged) {
  const std::string text = gbk("  社会与法：法院依法审理一起合同纠纷案。  ");
  import("train\t" + gbk("社会") + "\t" + gbk("标题") + "\t" + text + "\n", false);
  OdbcConnection connection(connectionString, "check");
  RowCursor rows = connection.execute("select CAbstract, Categorization from TrainingCorpus");
  EXPECT_EQ(rows.text("CAbstract"), text);
  EXPECT_EQ(rows.text("Categorization"), gbk("社会"));
}

TEST_F(ImportTest, DatabaseFaultMidwayLeavesEverythingAsItWas) {
  {
    // A table that refuses one of the articles, so the fault comes after some inserts.
    OdbcConnection setup(connectionString, "setup", DatabaseCreation::kCreateIfMissing);
    setup.executeStatement(
        "CREATE TABLE TrainingCorpus (ArticleId INTEGER PRIMARY KEY, CArticleName TEXT, "
        "Categorization TEXT CHECK (Categorization <> 'refused'), CAbstract TEXT)");
  }
  testing::insertArticles(connectionString, "TrainingCorpus", {{1, "kept", "history", "x"}});
  EXPECT_THROW(import("test\ta\tt\tx\ntrain\tb\tt\ty\ntrain\trefused\tt\tz\ntrain\tc\tt\tw\n",
                      true),
               DatabaseFault);
  EXPECT_EQ(tableRows(connectionString, "TrainingCorpus"),
            (std::vector<std::string>{"1|kept|history|x"}));
  // The table the import created is gone again.
  EXPECT_FALSE(tableExists(connectionString, "TestingCorpus"));
}

TEST_F(ImportTest, ReportsProgressPerArticle) {
  std::vector<std::string> calls;
  importArticles(connectionString,
                 parseCorpusFile("train\ta\tt\tx\ntest\ta\tt\ty\n", "corpus.tsv"), false,
                 [&calls](size_t done, size_t total) {
                   calls.push_back(std::to_string(done) + "/" + std::to_string(total));
                 });
  EXPECT_EQ(calls, (std::vector<std::string>{"1/2", "2/2"}));
}

}  // namespace
}  // namespace newsclass
