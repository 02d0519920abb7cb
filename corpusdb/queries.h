// Every query text the stages issue, built from its template: the article range, category and
// neighbour queries of the corpus stages, the category look-ups of the classification's reports
// and checks, and the highest id of a table that an import numbers after. (The import's table
// definitions and inserts are in corpusdb/import_statements.h.) A table name must be an
// identifier ([A-Za-z_][A-Za-z0-9_]*), else UsageError before any query runs; a category name is
// a value, so each single quote in it is doubled; an id list must be "(" integers separated by
// "," ")", else UsageError. Texts are built at their full length.
#ifndef NEWSCLASS_CORPUSDB_QUERIES_H_
#define NEWSCLASS_CORPUSDB_QUERIES_H_

#include <cstdint>
#include <string>

namespace newsclass {

// The two corpus tables an import fills and the stages read: the training articles (the
// dictionary, the counts, the neighbours' categories) and the testing articles.
inline constexpr const char* kTrainingCorpusTable = "TrainingCorpus";
inline constexpr const char* kTestingCorpusTable = "TestingCorpus";

// The columns the queries below read, by the names their rows give them.
inline constexpr const char* kIdColumn = "ArticleId";
inline constexpr const char* kTitleColumn = "CArticleName";
inline constexpr const char* kCategoryColumn = "Categorization";
inline constexpr const char* kTextColumn = "CAbstract";
inline constexpr const char* kRowCountColumn = "n";       // articleCountQuery
inline constexpr const char* kCategoryCountColumn = "p";  // categoryCountQuery

// Throws UsageError unless the name is an identifier.
void checkTableName(const std::string& tableName);

// "select ArticleId,CAbstract from %s where ArticleId between %d and %d"
std::string articleRangeQuery(const std::string& table, int32_t firstId, int32_t lastId);
// "select count(*) as n from %s where ArticleId between %d and %d": the rows articleRangeQuery reads,
// for a progress line's total.
std::string articleCountQuery(const std::string& table, int32_t firstId, int32_t lastId);
// "select ArticleId from %s where Categorization='%s'"
std::string categoryArticleIdsQuery(const std::string& table, const std::string& category);
// "select count(ArticleId) as p from %s where Categorization='%s'"
std::string categoryCountQuery(const std::string& table, const std::string& category);
// "select Categorization from %s where ArticleId in %s"
std::string neighbourCategoriesQuery(const std::string& table, const std::string& idList);
// "select Categorization  from %s where ArticleId=%d"
std::string articleCategoryQuery(const std::string& table, int32_t articleId);
// "select CArticleName, Categorization,CAbstract  from %s where ArticleId=%d"
std::string articleRecordQuery(const std::string& table, int32_t articleId);

// "select ArticleId, Categorization from <table> where ArticleId is not null and
// Categorization is not null"
std::string allArticleCategoriesQuery(const std::string& table);
// "select ArticleId, Categorization from <table> where ArticleId in <idList>"
std::string neighbourIdCategoriesQuery(const std::string& table, const std::string& idList);
// "select distinct Categorization from <table> where Categorization is not null"
std::string distinctCategoriesQuery(const std::string& table);
// "select coalesce(max(ArticleId), 0) as HighestArticleId from <table>": 0 for an empty table.
std::string highestArticleIdQuery(const std::string& table);

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_QUERIES_H_
