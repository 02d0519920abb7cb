// Single-article reads by id: the stored category of an article, and its whole record.
#include <string>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "processor/corpus_processor.h"

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

std::string CorpusProcessor::fetchArticleCategory(int32_t articleId, std::string tableName) {
  const std::string query = articleCategoryQuery(tableName, articleId);
  std::string category;
  {
    OdbcConnection connection(environment().connectionString, "fetchArticleCategory");
    RowCursor rows = connection.execute(query);
    requireRow(rows, connection, tableName, articleId);
    category = rows.text("Categorization");
  }
  trim(category, " ");
  return category;
}

bool fetchArticleRecord(int32_t articleId, std::string tableName, ArticleRecord& record,
                        CorpusProcessor& processor) {
  const std::string query = articleRecordQuery(tableName, articleId);
  std::string category, articleName, abstract;
  {
    OdbcConnection connection(processor.environment().connectionString, "fetchArticleRecord");
    RowCursor rows = connection.execute(query);
    requireRow(rows, connection, tableName, articleId);
    category = rows.text("Categorization");
    articleName = rows.text("CArticleName");
    abstract = rows.text("CAbstract");
  }
  // The record changes only once every field was read.
  record.category = std::move(category);
  record.articleName = std::move(articleName);
  record.abstract = std::move(abstract);
  processor.trim(record.articleName, " ");
  processor.trim(record.category, " ");
  processor.trim(record.abstract, " ");
  return true;
}

}  // namespace newsclass
