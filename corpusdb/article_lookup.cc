#include "corpusdb/article_lookup.h"

#include <string>

#include "base/text_utils.h"

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"

namespace newsclass {
namespace {

// A lookup of an id the table lacks finds no row; say so plainly rather than failing on the
// first column read.
void requireRow(const RowCursor& rows, const OdbcConnection& connection, const std::string& table,
                int32_t articleId) {
  if (rows.atEnd()) {
    throw DatabaseFault("SQLFetch", connection.operation(), "02000", 0,
                        table + " has no article with ArticleId " + std::to_string(articleId));
  }
}

}  // namespace

std::string fetchArticleCategory(const std::string& connectionString, int32_t articleId,
                                 const std::string& tableName) {
  const std::string query = articleCategoryQuery(tableName, articleId);
  std::string category;
  {
    OdbcConnection connection(connectionString, "fetchArticleCategory");
    RowCursor rows = connection.execute(query);
    requireRow(rows, connection, tableName, articleId);
    category = rows.text(kCategoryColumn);
  }
  trimInPlace(category, " ");
  return category;
}

bool fetchArticleRecord(const std::string& connectionString, int32_t articleId,
                        const std::string& tableName, ArticleRecord& record) {
  const std::string query = articleRecordQuery(tableName, articleId);
  std::string category, articleName, abstract;
  {
    OdbcConnection connection(connectionString, "fetchArticleRecord");
    RowCursor rows = connection.execute(query);
    requireRow(rows, connection, tableName, articleId);
    category = rows.text(kCategoryColumn);
    articleName = rows.text(kTitleColumn);
    abstract = rows.text(kTextColumn);
  }
  // The record changes only once every field was read.
  record.category = std::move(category);
  record.articleName = std::move(articleName);
  record.abstract = std::move(abstract);
  trimInPlace(record.articleName, " ");
  trimInPlace(record.category, " ");
  trimInPlace(record.abstract, " ");
  return true;
}

std::map<int32_t, std::string> readStoredCategories(OdbcConnection& connection,
                                                    const std::string& query) {
  std::map<int32_t, std::string> stored;
  RowCursor rows = connection.execute(query);
  for (; !rows.atEnd(); rows.moveNext()) {
    int32_t id = rows.int32(kIdColumn);
    std::string category = rows.text(kCategoryColumn);
    trimInPlace(category, " ");
    stored.emplace(id, std::move(category));
  }
  return stored;
}

}  // namespace newsclass
