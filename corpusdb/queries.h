// The six query texts the system issues, built from their templates. A table name must be an
// identifier ([A-Za-z_][A-Za-z0-9_]*), else UsageError before any query runs; a category name is
// a value, so each single quote in it is doubled. Texts are built at their full length.
#ifndef NEWSCLASS_CORPUSDB_QUERIES_H_
#define NEWSCLASS_CORPUSDB_QUERIES_H_

#include <cstdint>
#include <string>

namespace newsclass {

// Throws UsageError unless the name is an identifier.
void checkTableName(const std::string& tableName);

// "select ArticleId,CAbstract from %s where ArticleId between %d and %d"
std::string articleRangeQuery(const std::string& table, int32_t firstId, int32_t lastId);
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

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_QUERIES_H_
