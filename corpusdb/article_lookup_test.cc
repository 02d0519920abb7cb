#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"
#include "base/errors.h"
#include "corpusdb/odbc_connection.h"
#include "processor/corpus_processor.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;

class ArticleLookupTest : public ::testing::Test {
 protected:
  ArticleLookupTest() {
    testing::insertArticles(env.environment.connectionString, "TestingCorpus",
                            {{1, gbk("  标题 "), gbk("军事  "), gbk(" 正文，有空格。  ")},
                             {2, "t", "   ", "x"},
                             {3, "t", "society&law", "y"}});
  }
  TestEnvironment env;
};

TEST_F(ArticleLookupTest, CategoryIsTrimmedOfBlanks) {
  CorpusProcessor processor = env.processor(1, 10);
  EXPECT_EQ(processor.fetchArticleCategory(1, "TestingCorpus"), gbk("军事"));
  EXPECT_EQ(processor.fetchArticleCategory(2, "TestingCorpus"), "");
  EXPECT_EQ(processor.fetchArticleCategory(3, "TestingCorpus"), "society&law");
}

TEST_F(ArticleLookupTest, RecordFieldsAreAllTrimmed) {
  CorpusProcessor processor = env.processor(1, 10);
  ArticleRecord record{"old name", "old category", "old text"};
  EXPECT_TRUE(fetchArticleRecord(1, "TestingCorpus", record, processor));
  EXPECT_EQ(record.articleName, gbk("标题"));
  EXPECT_EQ(record.category, gbk("军事"));
  EXPECT_EQ(record.abstract, gbk("正文，有空格。"));
}

TEST_F(ArticleLookupTest, MissingIdNamesTableAndIdAndLeavesTheRecord) {
  CorpusProcessor processor = env.processor(1, 10);
  try {
    processor.fetchArticleCategory(99, "TestingCorpus");
    FAIL() << "a missing id must fail";
  } catch (const DatabaseFault& fault) {
    EXPECT_STREQ(fault.what(),
                 "database error in fetchArticleCategory: [02000] TestingCorpus has no article "
                 "with ArticleId 99");
  }
  ArticleRecord record{"a", "b", "c"};
  try {
    fetchArticleRecord(99, "TestingCorpus", record, processor);
    FAIL() << "a missing id must fail";
  } catch (const DatabaseFault& fault) {
    EXPECT_STREQ(fault.what(),
                 "database error in fetchArticleRecord: [02000] TestingCorpus has no article "
                 "with ArticleId 99");
  }
  EXPECT_EQ(record.articleName + record.category + record.abstract, "abc");
}

TEST_F(ArticleLookupTest, OnlyTheFirstOfSeveralRowsIsRead) {
  {
    OdbcConnection connection(env.environment.connectionString, "setup");
    connection.executeStatement(
        "CREATE TABLE Loose (ArticleId INTEGER, CArticleName TEXT, Categorization TEXT, "
        "CAbstract TEXT)");
    connection.executeStatement(
        "INSERT INTO Loose VALUES (5, 'first', 'history', 'a'), (5, 'second', 'culture', 'b')");
  }
  CorpusProcessor processor = env.processor(1, 10);
  EXPECT_EQ(processor.fetchArticleCategory(5, "Loose"), "history");
  ArticleRecord record;
  fetchArticleRecord(5, "Loose", record, processor);
  EXPECT_EQ(record.articleName, "first");
}

TEST_F(ArticleLookupTest, BadTableNameIsRefusedBeforeConnecting) {
  // The database is gone: a query attempt would be a database fault, not a usage error.
  env.environment.connectionString = sqliteConnectionString(env.dir.file("missing.db"));
  CorpusProcessor processor = env.processor(1, 10);
  EXPECT_THROW(processor.fetchArticleCategory(1, "TestingCorpus where 1=1 --"), UsageError);
  ArticleRecord record;
  EXPECT_THROW(fetchArticleRecord(1, "Testing Corpus", record, processor), UsageError);
}

}  // namespace
}  // namespace newsclass
