#include "corpusdb/odbc_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <filesystem>
#include <functional>
#include <string>

#include "base/encoding.h"
#include "corpusdb/connection_string.h"
#include "corpusdb/queries.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TempDir;
using testing::TestArticle;

class SqliteCorpus : public ::testing::Test {
 protected:
  SqliteCorpus() : connectionString(sqliteConnectionString(dir.file("corpus.db"))) {
    testing::createCorpusTables(connectionString);
  }
  TempDir dir;
  std::string connectionString;
};

TEST_F(SqliteCorpus, RangeQueryWalksTheRowsOfTheRange) {
  testing::insertArticles(connectionString, "TrainingCorpus",
                          {{1, "t1", "history", "one"},
                           {2, "t2", "culture", "two"},
                           {3, "t3", "reading", "three"},
                           {4, "t4", "military", "four"}});
  OdbcConnection connection(connectionString, "buildDictionary");
  RowCursor rows = connection.execute(articleRangeQuery("TrainingCorpus", 2, 3));
  std::vector<std::string> seen;
  while (!rows.atEnd()) {
    // Read in the stages' order: the text before the id.
    std::string text = rows.text("CAbstract");
    seen.push_back(rows.text("ArticleId") + ":" + text);
    rows.moveNext();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"2:two", "3:three"}));
}

TEST_F(SqliteCorpus, EmptyRangeGivesNoRowsAndReadingIsAFault) {
  testing::insertArticles(connectionString, "TrainingCorpus", {{1, "t", "history", "x"}});
  OdbcConnection connection(connectionString, "buildDictionary");
  RowCursor rows = connection.execute(articleRangeQuery("TrainingCorpus", 5, 4));
  EXPECT_TRUE(rows.atEnd());
  try {
    rows.text("CAbstract");
    FAIL() << "reading past the last row must fail";
  } catch (const DatabaseFault& fault) {
    EXPECT_EQ(fault.sqlState(), "02000");
    EXPECT_EQ(fault.operation(), "buildDictionary");
    EXPECT_EQ(std::string(fault.what()).rfind("database error in buildDictionary: [02000] ", 0),
              0u)
        << fault.what();
  }
  EXPECT_THROW(rows.moveNext(), DatabaseFault);
}

TEST_F(SqliteCorpus, GbkTextComesBackByteForByte) {
  const std::string title = gbk("军事新闻");
  const std::string text = gbk("  中华人民共和国国防部今天发布消息，“演习”顺利结束。  ");
  const std::string category = gbk("社会");
  testing::insertArticles(connectionString, "TestingCorpus", {{7, title, category, text}});
  OdbcConnection connection(connectionString, "fetchArticleRecord");
  RowCursor rows = connection.execute(articleRecordQuery("TestingCorpus", 7));
  ASSERT_FALSE(rows.atEnd());
  EXPECT_EQ(rows.text("Categorization"), category);
  EXPECT_EQ(rows.text("CArticleName"), title);
  EXPECT_EQ(rows.text("CAbstract"), text);
  // Read again, and in another case.
  EXPECT_EQ(rows.text("cabstract"), text);
  EXPECT_EQ(rows.text("CARTICLENAME"), title);
  rows.moveNext();
  EXPECT_TRUE(rows.atEnd());
}

TEST_F(SqliteCorpus, LongTextsAreReadWhole) {
  std::string longText;
  for (int i = 0; i < 20000; ++i) longText += gbk(i % 7 == 0 ? "。" : "汉");
  longText += "end";
  std::string asciiText(50001, 'a');
  testing::insertArticles(connectionString, "TrainingCorpus",
                          {{1, "a", "history", longText}, {2, "b", "history", asciiText},
                           {3, "c", "history", "short"}});
  OdbcConnection connection(connectionString, "buildDictionary");
  RowCursor rows = connection.execute(articleRangeQuery("TrainingCorpus", 1, 3));
  ASSERT_FALSE(rows.atEnd());
  EXPECT_EQ(rows.text("CAbstract"), longText);
  rows.moveNext();
  EXPECT_EQ(rows.text("CAbstract"), asciiText);
  rows.moveNext();
  EXPECT_EQ(rows.text("CAbstract"), "short");
}

TEST_F(SqliteCorpus, CharactersOutsideGbkConvertAsUtf16ToGbkDoes) {
  // Thai (not in GBK), a Chinese character, then the same with an emoji (a surrogate pair).
  OdbcConnection connection(connectionString, "buildDictionary");
  connection.executeStatement(
      "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract) VALUES "
      "(1, 'a', 'history', char(3585, 20013, 101)), "
      "(2, 'b', 'history', char(3585, 20013, 128512, 101))");
  RowCursor rows = connection.execute(articleRangeQuery("TrainingCorpus", 1, 2));
  ASSERT_FALSE(rows.atEnd());
  EXPECT_EQ(rows.text("CAbstract"), "?" + gbk("中") + "e");
  rows.moveNext();
  EXPECT_EQ(rows.text("CAbstract"), utf16ToGbk(u"\u0E01\u4E2D\U0001F600e"));
}

TEST_F(SqliteCorpus, CategoryWithQuotesIsAValueNotSql) {
  testing::insertArticles(connectionString, "TrainingCorpus",
                          {{1, "a", "it's", "x"},
                           {2, "b", "society&law", "y"},
                           {3, "c", "history", "z"},
                           {4, "d", "society&law", "w"}});
  OdbcConnection connection(connectionString, "countCategoryArticles");
  RowCursor rows = connection.execute(categoryCountQuery("TrainingCorpus", "it's"));
  EXPECT_EQ(rows.text("p"), "1");
  rows = connection.execute(categoryArticleIdsQuery("TrainingCorpus", "society&law"));
  std::vector<std::string> ids;
  for (; !rows.atEnd(); rows.moveNext()) ids.push_back(rows.text("ArticleId"));
  EXPECT_EQ(ids, (std::vector<std::string>{"2", "4"}));
  // An injection attempt matches nothing and changes nothing.
  rows = connection.execute(categoryCountQuery("TrainingCorpus", "x' or '1'='1"));
  EXPECT_EQ(rows.text("p"), "0");
  rows = connection.execute(categoryCountQuery("TrainingCorpus", "history"));
  EXPECT_EQ(rows.text("P"), "1");
}

TEST_F(SqliteCorpus, NeighbourQueryReturnsTheCategoriesOfTheIds) {
  testing::insertArticles(connectionString, "TrainingCorpus",
                          {{1, "a", "history", "x"}, {2, "b", "culture", "y"},
                           {3, "c", "reading", "z"}});
  OdbcConnection connection(connectionString, "knnClassify");
  RowCursor rows = connection.execute(neighbourCategoriesQuery("TrainingCorpus", "(3,1)"));
  std::vector<std::string> categories;
  for (; !rows.atEnd(); rows.moveNext()) categories.push_back(rows.text("Categorization"));
  std::sort(categories.begin(), categories.end());
  EXPECT_EQ(categories, (std::vector<std::string>{"history", "reading"}));
}

TEST_F(SqliteCorpus, NullValueIsAFaultNamingTheColumn) {
  OdbcConnection setup(connectionString, "test setup");
  setup.executeWithParameters(
      "INSERT INTO TestingCorpus (ArticleId, CArticleName, Categorization, CAbstract) "
      "VALUES (?, ?, ?, ?)",
      {"1", "title", std::nullopt, "text"});
  OdbcConnection connection(connectionString, "fetchArticleCategory");
  RowCursor rows = connection.execute(articleCategoryQuery("TestingCorpus", 1));
  try {
    rows.text("Categorization");
    FAIL() << "a NULL value must fail";
  } catch (const DatabaseFault& fault) {
    EXPECT_STREQ(fault.what(),
                 "database error in fetchArticleCategory: [22002] column Categorization is NULL");
  }
}

TEST_F(SqliteCorpus, MissingColumnIsAFault) {
  OdbcConnection connection(connectionString, "collectCategoryArticles");
  testing::insertArticles(connectionString, "TrainingCorpus", {{1, "a", "history", "x"}});
  RowCursor rows = connection.execute(articleCategoryQuery("TrainingCorpus", 1));
  EXPECT_THROW(rows.text("CAbstract"), DatabaseFault);
}

TEST_F(SqliteCorpus, BadSqlGivesTheDriversStateAndMessage) {
  OdbcConnection connection(connectionString, "buildDictionary");
  try {
    connection.execute("select ArticleId from NoSuchTable");
    FAIL() << "a query on a missing table must fail";
  } catch (const DatabaseFault& fault) {
    EXPECT_EQ(fault.call(), "SQLExecDirect");
    EXPECT_EQ(fault.operation(), "buildDictionary");
    EXPECT_EQ(fault.sqlState().size(), 5u);
    EXPECT_NE(fault.message().find("NoSuchTable"), std::string::npos) << fault.message();
    EXPECT_EQ(std::string(fault.what()),
              "database error in buildDictionary: [" + fault.sqlState() + "] " + fault.message());
  }
}

TEST_F(SqliteCorpus, FailedStatementsNameTheirCallAndLeaveTheConnectionUsable) {
  const std::string insert =
      "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract) "
      "VALUES (?, ?, ?, ?)";
  OdbcConnection connection(connectionString, "import");
  auto faultOf = [](const std::function<void()>& run) {
    try {
      run();
    } catch (const DatabaseFault& fault) {
      return fault;
    }
    ADD_FAILURE() << "the statement must fail";
    return DatabaseFault("", "", "", 0, "");
  };

  DatabaseFault direct = faultOf([&] { connection.executeStatement("DELETE FROM NoSuchTable"); });
  EXPECT_EQ(direct.call(), "SQLExecDirect");
  EXPECT_EQ(direct.operation(), "import");
  EXPECT_NE(direct.message().find("NoSuchTable"), std::string::npos) << direct.message();

  DatabaseFault prepared = faultOf([&] {
    connection.executeWithParameters("INSERT INTO NoSuchTable VALUES (?)", {"1"});
  });
  // The SQLite driver checks the statement when it runs, other drivers when it is prepared.
  EXPECT_TRUE(prepared.call() == "SQLPrepare" || prepared.call() == "SQLExecute")
      << prepared.call();
  EXPECT_NE(prepared.message().find("NoSuchTable"), std::string::npos) << prepared.message();

  connection.executeWithParameters(insert, {"1", "a", "history", "x"});
  // The same prepared statement again, with an id the table already holds.
  DatabaseFault executed =
      faultOf([&] { connection.executeWithParameters(insert, {"1", "b", "history", "y"}); });
  EXPECT_EQ(executed.call(), "SQLExecute");
  EXPECT_EQ(executed.sqlState().size(), 5u);
  // After each fault the next statement runs: nothing failed is kept prepared.
  connection.executeWithParameters(insert, {"2", "b", "history", "y"});
  RowCursor rows = connection.execute(categoryCountQuery("TrainingCorpus", "history"));
  EXPECT_EQ(rows.text("p"), "2");
}

TEST_F(SqliteCorpus, NextQueryClosesThePreviousCursor) {
  testing::insertArticles(connectionString, "TrainingCorpus",
                          {{1, "a", "history", "x"}, {2, "b", "history", "y"}});
  OdbcConnection connection(connectionString, "collectCategoryArticles");
  RowCursor first = connection.execute(categoryArticleIdsQuery("TrainingCorpus", "history"));
  RowCursor second = connection.execute(categoryCountQuery("TrainingCorpus", "history"));
  EXPECT_TRUE(first.atEnd());
  EXPECT_THROW(first.text("ArticleId"), DatabaseFault);
  EXPECT_EQ(second.text("p"), "2");
}

TEST_F(SqliteCorpus, RolledBackTransactionLeavesNoTrace) {
  {
    OdbcConnection connection(connectionString, "import");
    connection.beginTransaction();
    connection.executeStatement("DELETE FROM TrainingCorpus");
    connection.executeWithParameters(
        "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract) "
        "VALUES (?, ?, ?, ?)",
        {"1", "a", "history", "x"});
    connection.rollback();
    connection.beginTransaction();
    connection.executeWithParameters(
        "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract) "
        "VALUES (?, ?, ?, ?)",
        {"2", "b", "history", "y"});
    // Destroyed without commit: rolled back.
  }
  OdbcConnection connection(connectionString, "check");
  RowCursor rows = connection.execute("select count(ArticleId) as p from TrainingCorpus");
  EXPECT_EQ(rows.text("p"), "0");
}

TEST_F(SqliteCorpus, DbmsNameIsSqlite) {
  OdbcConnection connection(connectionString, "import");
  EXPECT_EQ(connection.dbmsName(), "SQLite");
}

std::string faultText(const std::function<void()>& action) {
  try {
    action();
  } catch (const DatabaseFault& fault) {
    return fault.what();
  }
  return "no fault";
}

TEST_F(SqliteCorpus, IdsBeyond32BitsAreFaultsNamingColumnValueAndQuery) {
  OdbcConnection connection(connectionString, "collectCategoryArticles");
  connection.executeStatement(
      "create table Ids (ArticleId INTEGER, Kind TEXT);"
      "insert into Ids values (2147483647, 'max'), (-2147483648, 'min'), (3000000000, 'big'),"
      " (-2147483649, 'small'), (99999999999999999999999, 'huge'), ('12x', 'text'),"
      " ('', 'empty'), (1.5, 'real')");
  auto read = [&](const std::string& kind) {
    RowCursor rows = connection.execute("select ArticleId from Ids where Kind='" + kind + "'");
    return rows.int32("articleid");
  };
  EXPECT_EQ(read("max"), 2147483647);
  EXPECT_EQ(read("min"), -2147483648);
  EXPECT_EQ(faultText([&] { read("big"); }),
            "database error in collectCategoryArticles: [22003] ArticleId value \"3000000000\" is "
            "outside the 32-bit integer range (query: select ArticleId from Ids where "
            "Kind='big')");
  EXPECT_EQ(faultText([&] { read("small"); }),
            "database error in collectCategoryArticles: [22003] ArticleId value \"-2147483649\" "
            "is outside the 32-bit integer range (query: select ArticleId from Ids where "
            "Kind='small')");
  // SQLite keeps a number past 64 bits as a real; it is no integer id either way.
  EXPECT_NE(faultText([&] { read("huge"); }).find("[22"), std::string::npos);
  EXPECT_EQ(faultText([&] { read("text"); }),
            "database error in collectCategoryArticles: [22018] ArticleId value \"12x\" is not an "
            "integer (query: select ArticleId from Ids where Kind='text')");
  EXPECT_NE(faultText([&] { read("empty"); }).find("[22018] ArticleId value \"\" is not"),
            std::string::npos);
  EXPECT_NE(faultText([&] { read("real"); }).find("[22018] ArticleId value \"1.5\" is not"),
            std::string::npos);
}

TEST(DatabaseFaultTest, MultiLineDriverMessagesBecomeOneLine) {
  DatabaseFault fault("SQLExecDirect", "import", "42P01", 7,
                      "ERROR:  relation \"x\" does not exist;\nLINE 1: select * from x\r\n"
                      "  \n                      ^\n");
  EXPECT_EQ(std::string(fault.what()),
            "database error in import: [42P01] ERROR:  relation \"x\" does not exist; LINE 1: "
            "select * from x; ^");
  EXPECT_EQ(fault.message(), "ERROR:  relation \"x\" does not exist; LINE 1: select * from x; ^");
  EXPECT_EQ(DatabaseFault("c", "o", "s", 0, "one line").message(), "one line");
}

TEST(OdbcConnectionTest, LockHeldByAnotherConnectionEndsTheWaitWithAFault) {
  TempDir dir;
  const std::string path = dir.file("corpus.db");
  testing::createCorpusTables(sqliteConnectionString(path));
  OdbcConnection holder(sqliteConnectionString(path), "holder");
  holder.executeStatement("BEGIN EXCLUSIVE");
  OdbcConnection waiting(withSqliteTimeout(sqliteConnectionString(path), 200), "show");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(faultText([&] { waiting.execute("select count(*) as n from TrainingCorpus"); }),
            "database error in show: [HY000] [SQLite]database is locked (5)");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  holder.executeStatement("COMMIT");
  EXPECT_EQ(waiting.execute("select count(*) as n from TrainingCorpus").text("n"), "0");
}

TEST(OdbcConnectionTest, MissingSqliteFileIsAFaultAndIsNotCreated) {
  TempDir dir;
  const std::string path = dir.file("corpus.db");
  try {
    OdbcConnection connection(sqliteConnectionString(path), "buildDictionary");
    FAIL() << "connecting to a missing database file must fail";
  } catch (const DatabaseFault& fault) {
    EXPECT_EQ(fault.sqlState(), "08001");
    EXPECT_NE(std::string(fault.what()).find(path), std::string::npos) << fault.what();
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  OdbcConnection creating(sqliteConnectionString(path), "import",
                          DatabaseCreation::kCreateIfMissing);
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(OdbcConnectionTest, ConnectFailureNamesTheStringWithoutThePassword) {
  const std::string connectionString =
      "Driver=NoSuchDriverForNewsclass;Server=127.0.0.1;UID=sa;PWD=pw4mzqe";
  try {
    OdbcConnection connection(connectionString, "buildDictionary");
    FAIL() << "an unknown driver must fail";
  } catch (const DatabaseFault& fault) {
    std::string what = fault.what();
    EXPECT_EQ(fault.call(), "SQLDriverConnectW");
    EXPECT_EQ(what.find("pw4mzqe"), std::string::npos) << what;
    EXPECT_NE(what.find("(Driver=NoSuchDriverForNewsclass;Server=127.0.0.1;UID=sa;PWD=***)"),
              std::string::npos)
        << what;
    EXPECT_EQ(what.rfind("database error in buildDictionary: [", 0), 0u) << what;
  }
}

TEST(MaskConnectionStringTest, HidesPasswordValuesOnly) {
  EXPECT_EQ(maskConnectionString("Driver=PostgreSQL Unicode;Server=h;UID=u;PWD=secret"),
            "Driver=PostgreSQL Unicode;Server=h;UID=u;PWD=***");
  EXPECT_EQ(maskConnectionString(
                "Provider=SQLOLEDB.1;Password=pw4mzqe;Persist Security Info=True; User ID=sa"),
            "Provider=SQLOLEDB.1;Password=***;Persist Security Info=True; User ID=sa");
  EXPECT_EQ(maskConnectionString("pwd=a;PASSWORD=b;Pwd = c ;x=1"),
            "pwd=***;PASSWORD=***;Pwd = ***;x=1");
  EXPECT_EQ(maskConnectionString("UID=u;PWD={se;cr}}et};Database=d"),
            "UID=u;PWD=***;Database=d");
  EXPECT_EQ(maskConnectionString("Driver=SQLite3;Database=data/corpus.db"),
            "Driver=SQLite3;Database=data/corpus.db");
  EXPECT_EQ(maskConnectionString("PWD=last"), "PWD=***");
  // Keys that merely contain the word stay.
  EXPECT_EQ(maskConnectionString("OldPWD=x;PWDX=y"), "OldPWD=x;PWDX=y");
}

TEST(SqliteConnectionStringTest, NamesTheDriverAndFile) {
  EXPECT_EQ(sqliteConnectionString("data/corpus.db"), "Driver=SQLite3;Database=data/corpus.db");
}

TEST(ConnectionStringTest, SqliteRowsAreSteppedAndLockWaitsBoundedUnlessTheStringChooses) {
  EXPECT_EQ(driverConnectionString("Driver=SQLite3;Database=a.db"),
            "Driver=SQLite3;Database=a.db;StepAPI=1;Timeout=30000");
  EXPECT_EQ(driverConnectionString("driver={sqlite3};Database=a.db;"),
            "driver={sqlite3};Database=a.db;StepAPI=1;Timeout=30000");
  EXPECT_EQ(driverConnectionString("Driver=SQLite3;Database=a.db;StepAPI=0;timeout=5"),
            "Driver=SQLite3;Database=a.db;StepAPI=0;timeout=5");
  EXPECT_EQ(driverConnectionString("Driver=PostgreSQL Unicode;Database=corpus"),
            "Driver=PostgreSQL Unicode;Database=corpus");

  EXPECT_EQ(withSqliteTimeout("Driver=SQLite3;Database=a.db", 1500),
            "Driver=SQLite3;Database=a.db;Timeout=1500");
  EXPECT_EQ(withSqliteTimeout("Driver=SQLite3;Database=a.db;Timeout=9;", 1500),
            "Driver=SQLite3;Database=a.db;Timeout=9;");
  EXPECT_EQ(withSqliteTimeout("Driver=FreeTDS;Server=h", 1500), "Driver=FreeTDS;Server=h");
  // Our Timeout= is the one the driver gets: no second one is added.
  EXPECT_EQ(driverConnectionString(withSqliteTimeout("Driver=SQLite3;Database=a.db", 1500)),
            "Driver=SQLite3;Database=a.db;Timeout=1500;StepAPI=1");
}

TEST(ConnectionStringTest, AwkwardSqlitePathsGoAsFileUrisAndReadBack) {
  EXPECT_EQ(sqliteConnectionString("x;Driver=Foo/corpus.db"),
            "Driver=SQLite3;Database=file:x%3BDriver%3DFoo/corpus.db");
  EXPECT_EQ(sqliteConnectionString("/tmp/a b;{c}%/corpus.db"),
            "Driver=SQLite3;Database=file:///tmp/a%20b%3B%7Bc%7D%25/corpus.db");
  EXPECT_EQ(sqliteConnectionString("file:x/corpus.db"),
            "Driver=SQLite3;Database=file:file%3Ax/corpus.db");
  EXPECT_EQ(sqliteConnectionString(" lead/corpus.db"),
            "Driver=SQLite3;Database=file:%20lead/corpus.db");
  // The driver cannot open a plain path beyond ASCII; as a URI it reaches SQLite byte for byte.
  EXPECT_EQ(sqliteConnectionString("数据 1/corpus.db"),
            "Driver=SQLite3;Database=file:%E6%95%B0%E6%8D%AE%201/corpus.db");
  EXPECT_EQ(sqliteConnectionString("/tmp/\xC3\xA9/c.db"), "Driver=SQLite3;Database=file:///tmp/%C3%A9/c.db");
  // Ordinary ASCII paths stay as they are.
  EXPECT_EQ(sqliteConnectionString("data 1/corpus.db"), "Driver=SQLite3;Database=data 1/corpus.db");
  for (const std::string path : {"x;Driver=Foo/corpus.db", "/tmp/a b;{c}%/corpus.db",
                                 "file:x/corpus.db", " lead/corpus.db", "数据;/c.db",
                                 "数据 1/corpus.db", "/tmp/\xC3\xA9/c.db"}) {
    EXPECT_EQ(sqliteDatabaseFile(sqliteConnectionString(path)), path);
  }
  EXPECT_EQ(sqliteDatabaseFile("Driver=SQLite3;Database=file:a%3b.db?mode=rwc"), "a;.db");
  EXPECT_EQ(sqliteDatabaseFile("Driver=SQLite3;Database=file://localhost/t/a.db"), "/t/a.db");
  EXPECT_EQ(sqliteDatabaseFile("Driver=SQLite3;Database=file:m?mode=memory"), std::nullopt);
}

TEST(OdbcConnectionTest, AFolderNamedLikeAnAttributeHoldsTheDatabase) {
  TempDir dir;
  const std::string folder = dir.file("x;Driver=Foo");
  std::filesystem::create_directory(folder);
  const std::string connectionString = sqliteConnectionString(folder + "/corpus.db");
  testing::createCorpusTables(connectionString);
  testing::insertArticles(connectionString, "TrainingCorpus", {{7, "t", "history", "text"}});
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/corpus.db"));
  // Nothing went anywhere else: the temporary folder holds the one folder, which holds the file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);
  OdbcConnection connection(connectionString, "check");
  RowCursor rows = connection.execute("select ArticleId from TrainingCorpus");
  EXPECT_EQ(rows.int32("ArticleId"), 7);
}

TEST(ConnectionStringTest, FindsTheSqliteFile) {
  EXPECT_EQ(sqliteDatabaseFile("Driver=SQLite3;Database=data/corpus.db"), "data/corpus.db");
  EXPECT_EQ(sqliteDatabaseFile("Driver={SQLite3};Database={/tmp/a;b.db}"), "/tmp/a;b.db");
  EXPECT_EQ(sqliteDatabaseFile("Driver=SQLite3;Database=:memory:"), std::nullopt);
  EXPECT_EQ(sqliteDatabaseFile("Driver=FreeTDS;Database=VexmoorCorpus"), std::nullopt);
}

}  // namespace
}  // namespace newsclass
