#include "corpusdb/corpus_import.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "corpusdb/odbc_connection.h"
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

TEST(ParseCorpusFileTest, CategoriesWithWhiteSpaceAndNulBytesAreRefused) {
  EXPECT_EQ(parseError("train\thistory\ta\tb\ntest\tsociety law\tc\td\n"),
            "corpus.tsv:2: category \"society law\" holds white space, which the data files use "
            "as a separator");
  EXPECT_EQ(parseError("train\ta\vb\tc\td\n"),
            "corpus.tsv:1: category \"a\vb\" holds white space, which the data files use as a "
            "separator");
  EXPECT_EQ(parseError("train\ta\fb\tc\td\n").substr(0, 28), "corpus.tsv:1: category \"a\fb\"");
  EXPECT_EQ(parseError("train\ta\rb\tc\td\n").substr(0, 28), "corpus.tsv:1: category \"a\rb\"");
  EXPECT_EQ(parseError(gbk("train\t社会 法律\tc\td\n")),
            "corpus.tsv:1: category \"社会 法律\" holds white space, which the data files use as "
            "a separator");
  // The ideographic space is a character of the name, not a separator.
  EXPECT_EQ(parseCorpusFile("train\t社会\u3000法律\tc\td\n", "f")[0].category, gbk("社会\u3000法律"));

  using namespace std::string_literals;
  EXPECT_EQ(parseError("train\ta\tb\tc\ntest\ta\tti\0tle\ttext\n"s),
            "corpus.tsv:2: field title holds a NUL byte");
  EXPECT_EQ(parseError("train\ta\tb\ttext\0\n"s), "corpus.tsv:1: field text holds a NUL byte");
  EXPECT_EQ(parseError("train\t\0\tb\tc\n"s), "corpus.tsv:1: field category holds a NUL byte");
  EXPECT_EQ(parseError(utf8ToGbk("train\ta\t标题\t正文\0\n"s)),
            "corpus.tsv:1: field text holds a NUL byte");
}

TEST(ParseCorpusFileTest, ALineInAnotherEncodingStopsTheParse) {
  const std::string utf8Line = "train\thistory\t长安城\t考古队发掘坊墙。\n";
  const std::string gbkLine = gbk(utf8Line);
  // One GBK line among UTF-8 lines: the file is UTF-8 and the GBK line is named.
  EXPECT_EQ(parseError(utf8Line + utf8Line + gbkLine + utf8Line),
            "corpus.tsv:3: not valid UTF-8 (byte 15 is 0xB3), but the file is UTF-8; is this "
            "line in another encoding?");
  // A byte-order mark makes the file UTF-8 however many lines are GBK.
  EXPECT_EQ(parseError("\xEF\xBB\xBF" + gbkLine + gbkLine + utf8Line).substr(0, 33),
            "corpus.tsv:1: not valid UTF-8 (by");
  // One UTF-8 line among GBK lines: the file is GBK and the UTF-8 line is named.
  EXPECT_EQ(parseError(gbkLine + utf8Line + gbkLine),
            "corpus.tsv:2: the line is UTF-8, but the file is GBK (most of its lines are not "
            "UTF-8)");
  // Bytes that are no GBK character in a GBK file: a lead byte before a tab, 0xFF.
  EXPECT_EQ(parseError(gbkLine + "train\thistory\t" + gbk("长") + "\xB3\tx\n"),
            "corpus.tsv:2: not valid GBK (byte 17 is 0xB3), but the file is GBK");
  EXPECT_EQ(parseError(gbkLine + gbkLine + "test\ta\tb\t\xFF\n"),
            "corpus.tsv:3: not valid GBK (byte 10 is 0xFF), but the file is GBK");
  // A lead byte cut off by the end of the file.
  EXPECT_EQ(parseError(gbkLine + "test\ta\tb\t\xB3"),
            "corpus.tsv:2: not valid GBK (byte 10 is 0xB3), but the file is GBK");

  // Clean files of either encoding read as before; the euro sign is GBK's byte 0x80.
  EXPECT_EQ(parseCorpusFile(gbkLine + gbkLine, "f").size(), 2u);
  EXPECT_EQ(parseCorpusFile("train\ta\tb\t\x80 5\n", "f")[0].text, "\x80 5");
  // A character with no GBK form is valid UTF-8 and becomes "?".
  std::vector<CorpusLine> lines = parseCorpusFile("train\ta\t\U0001F600\t\u00E9t\u00E9 \u2603\n", "f");
  EXPECT_EQ(lines[0].title, "?");
  EXPECT_EQ(lines[0].text, gbk("\u00E9t\u00E9") + " ?");
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

TEST_F(ImportTest, CountsOfManyDistinctCategoriesInOrderOfFirstAppearance) {
  std::string file;
  constexpr int kCategories = 5000;
  for (int i = 0; i < kCategories; ++i) {
    file += "train\tc" + std::to_string(i) + "\tt\tx\n";
    if (i % 2 == 0) file += "train\tc" + std::to_string(i) + "\tt\tx\n";
    if (i % 3 == 0) file += "test\tc" + std::to_string(kCategories - 1 - i) + "\tt\tx\n";
  }
  ImportResult result = import(file, false);
  const size_t testingCategories = (kCategories + 2) / 3;
  ASSERT_EQ(result.counts.size(), kCategories + testingCategories);
  for (int i = 0; i < kCategories; ++i) {
    const ImportCount& count = result.counts[static_cast<size_t>(i)];
    ASSERT_EQ(count.table, "TrainingCorpus");
    ASSERT_EQ(count.category, "c" + std::to_string(i));
    ASSERT_EQ(count.articles, i % 2 == 0 ? 2 : 1);
  }
  for (size_t k = 0; k < testingCategories; ++k) {
    const ImportCount& count = result.counts[kCategories + k];
    ASSERT_EQ(count.table, "TestingCorpus");
    ASSERT_EQ(count.category, "c" + std::to_string(kCategories - 1 - 3 * static_cast<int>(k)));
    ASSERT_EQ(count.articles, 1);
  }
  EXPECT_EQ(result.trainingArticles, kCategories + kCategories / 2);
  EXPECT_EQ(result.testingArticles, static_cast<int32_t>(testingCategories));
}

TEST_F(ImportTest, HighestIdBeyond32BitsIsAFaultAndNothingIsStored) {
  import("train\ta\tt\tx\n", false);
  {
    OdbcConnection connection(connectionString, "setup");
    connection.executeStatement("insert into TrainingCorpus values (3000000000, 't', 'a', 'x')");
  }
  try {
    import("train\tb\tt\ty\ntest\tb\tt\ty\n", false);
    FAIL() << "an id beyond 32 bits must stop the import";
  } catch (const DatabaseFault& fault) {
    EXPECT_EQ(std::string(fault.what()),
              "database error in import: [22003] HighestArticleId value \"3000000000\" is "
              "outside the 32-bit integer range (query: select coalesce(max(ArticleId), 0) as "
              "HighestArticleId from TrainingCorpus)");
  }
  EXPECT_EQ(tableRows(connectionString, "TrainingCorpus"),
            (std::vector<std::string>{"1|t|a|x", "3000000000|t|a|x"}));
  EXPECT_TRUE(tableRows(connectionString, "TestingCorpus").empty());
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
