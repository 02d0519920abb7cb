#include "corpusdb/queries.h"

#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"
#include "base/errors.h"
#include "corpusdb/import_statements.h"

namespace newsclass {
namespace {

TEST(QueriesTest, TextsAreExactlyTheTemplates) {
  EXPECT_EQ(articleRangeQuery("TrainingCorpus", 1, 6000),
            "select ArticleId,CAbstract from TrainingCorpus where ArticleId between 1 and 6000");
  EXPECT_EQ(articleRangeQuery("TestingCorpus", -5, -1),
            "select ArticleId,CAbstract from TestingCorpus where ArticleId between -5 and -1");
  EXPECT_EQ(categoryArticleIdsQuery("TrainingCorpus", "history"),
            "select ArticleId from TrainingCorpus where Categorization='history'");
  EXPECT_EQ(categoryCountQuery("TrainingCorpus", "society&law"),
            "select count(ArticleId) as p from TrainingCorpus where Categorization='society&law'");
  EXPECT_EQ(neighbourCategoriesQuery("TrainingCorpus", "(12,5,-3)"),
            "select Categorization from TrainingCorpus where ArticleId in (12,5,-3)");
  EXPECT_EQ(articleCategoryQuery("TestingCorpus", 17),
            "select Categorization  from TestingCorpus where ArticleId=17");
  EXPECT_EQ(articleRecordQuery("TestingCorpus", 2147483647),
            "select CArticleName, Categorization,CAbstract  from TestingCorpus where "
            "ArticleId=2147483647");
  EXPECT_EQ(allArticleCategoriesQuery("TestingCorpus"),
            "select ArticleId, Categorization from TestingCorpus where ArticleId is not null and "
            "Categorization is not null");
  EXPECT_EQ(neighbourIdCategoriesQuery("TrainingCorpus", "(7,-2)"),
            "select ArticleId, Categorization from TrainingCorpus where ArticleId in (7,-2)");
  EXPECT_EQ(distinctCategoriesQuery("TrainingCorpus"),
            "select distinct Categorization from TrainingCorpus where Categorization is not null");
  EXPECT_EQ(highestArticleIdQuery("TestingCorpus"),
            "select coalesce(max(ArticleId), 0) as HighestArticleId from TestingCorpus");
}

TEST(QueriesTest, ImportStatementsAreExactlyTheirTexts) {
  EXPECT_EQ(createCorpusTableStatement("TrainingCorpus", "TEXT"),
            "CREATE TABLE TrainingCorpus (ArticleId INTEGER PRIMARY KEY, CArticleName TEXT, "
            "Categorization TEXT, CAbstract TEXT)");
  EXPECT_EQ(createCorpusTableStatement("TestingCorpus", "NVARCHAR(MAX)"),
            "CREATE TABLE TestingCorpus (ArticleId INTEGER PRIMARY KEY, CArticleName "
            "NVARCHAR(MAX), Categorization NVARCHAR(MAX), CAbstract NVARCHAR(MAX))");
  EXPECT_EQ(deleteArticlesStatement("TestingCorpus"), "DELETE FROM TestingCorpus");
  EXPECT_EQ(insertArticleStatement("TrainingCorpus"),
            "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract) "
            "VALUES (CAST(? AS INTEGER), ?, ?, ?)");
  EXPECT_EQ(primaryKeyIndexQuery("TrainingCorpus"),
            "SELECT c.relname AS indexname FROM pg_index i JOIN pg_class c ON c.oid = "
            "i.indexrelid WHERE i.indrelid = 'TrainingCorpus'::regclass AND i.indisprimary");
  EXPECT_EQ(clusterStatement("TrainingCorpus", "trainingcorpus_pkey"),
            "CLUSTER TrainingCorpus USING \"trainingcorpus_pkey\"");
  EXPECT_THROW(clusterStatement("TrainingCorpus", "a\"; drop table x; --"), UsageError);
}

TEST(QueriesTest, QuotesInCategoryNamesAreDoubled) {
  EXPECT_EQ(categoryArticleIdsQuery("T", "it's"),
            "select ArticleId from T where Categorization='it''s'");
  EXPECT_EQ(categoryCountQuery("T", "'; drop table T; --"),
            "select count(ArticleId) as p from T where Categorization='''; drop table T; --'");
  // GBK bytes pass through as they are.
  const std::string name = gbk("军事");
  EXPECT_EQ(categoryArticleIdsQuery("T", name),
            "select ArticleId from T where Categorization='" + name + "'");
}

TEST(QueriesTest, LongTextsAreBuiltWhole) {
  std::string table(2000, 'x');
  std::string category(6000, 'c');
  EXPECT_EQ(categoryCountQuery(table, category).size(),
            std::string("select count(ArticleId) as p from  where Categorization=''").size() +
                2000 + 6000);
  std::string ids = "(1";
  for (int i = 2; i <= 2000; ++i) {
    ids += ',';
    ids += std::to_string(i);
  }
  ids += ")";
  EXPECT_EQ(neighbourCategoriesQuery("TrainingCorpus", ids),
            "select Categorization from TrainingCorpus where ArticleId in " + ids);
}

TEST(QueriesTest, TableNamesMustBeIdentifiers) {
  for (const std::string bad : {"", "1Table", "Training Corpus", "T;drop table x", "T--",
                                "dbo.TrainingCorpus", "[TrainingCorpus]", "T'", "\xC9\xE7"}) {
    try {
      articleRangeQuery(bad, 1, 2);
      ADD_FAILURE() << "accepted table name \"" << bad << "\"";
    } catch (const UsageError& error) {
      EXPECT_NE(std::string(error.what()).find("\"" + bad + "\""), std::string::npos)
          << error.what();
    }
    EXPECT_THROW(categoryArticleIdsQuery(bad, "a"), UsageError);
    EXPECT_THROW(categoryCountQuery(bad, "a"), UsageError);
    EXPECT_THROW(neighbourCategoriesQuery(bad, "(1)"), UsageError);
    EXPECT_THROW(articleCategoryQuery(bad, 1), UsageError);
    EXPECT_THROW(articleRecordQuery(bad, 1), UsageError);
    EXPECT_THROW(allArticleCategoriesQuery(bad), UsageError);
    EXPECT_THROW(neighbourIdCategoriesQuery(bad, "(1)"), UsageError);
    EXPECT_THROW(distinctCategoriesQuery(bad), UsageError);
    EXPECT_THROW(highestArticleIdQuery(bad), UsageError);
    EXPECT_THROW(createCorpusTableStatement(bad, "TEXT"), UsageError);
    EXPECT_THROW(deleteArticlesStatement(bad), UsageError);
    EXPECT_THROW(insertArticleStatement(bad), UsageError);
    EXPECT_THROW(primaryKeyIndexQuery(bad), UsageError);
    EXPECT_THROW(clusterStatement(bad, "i"), UsageError);
  }
  for (const std::string good : {"TrainingCorpus", "_t", "t_2", "A"}) {
    EXPECT_NO_THROW(checkTableName(good)) << good;
  }
}

TEST(QueriesTest, IdListsMustBeParenthesisedIntegers) {
  for (const std::string good : {"(1)", "(1,2,3)", "(-1,20)"}) {
    EXPECT_NO_THROW(neighbourCategoriesQuery("T", good)) << good;
    EXPECT_NO_THROW(neighbourIdCategoriesQuery("T", good)) << good;
  }
  for (const std::string bad : {"", "()", "(1,)", "(,1)", "1,2", "(1 ,2)", "(1);drop table T",
                                "(1) or 1=1", "(1-2)", "(--1)", "(1,,2)", "(-)"}) {
    EXPECT_THROW(neighbourCategoriesQuery("T", bad), UsageError) << bad;
    EXPECT_THROW(neighbourIdCategoriesQuery("T", bad), UsageError) << bad;
  }
}

}  // namespace
}  // namespace newsclass
