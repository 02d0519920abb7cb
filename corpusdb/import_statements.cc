#include "corpusdb/import_statements.h"

#include "base/errors.h"
#include "corpusdb/queries.h"

namespace newsclass {

std::string createCorpusTableStatement(const std::string& table, const std::string& textType) {
  checkTableName(table);
  return "CREATE TABLE " + table + " (ArticleId INTEGER PRIMARY KEY, CArticleName " + textType +
         ", Categorization " + textType + ", CAbstract " + textType + ")";
}

std::string deleteArticlesStatement(const std::string& table) {
  checkTableName(table);
  return "DELETE FROM " + table;
}

std::string insertArticleStatement(const std::string& table) {
  checkTableName(table);
  return "INSERT INTO " + table +
         " (ArticleId, CArticleName, Categorization, CAbstract) "
         "VALUES (CAST(? AS INTEGER), ?, ?, ?)";
}

std::string primaryKeyIndexQuery(const std::string& table) {
  checkTableName(table);
  return "SELECT c.relname AS indexname FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
         "WHERE i.indrelid = '" +
         table + "'::regclass AND i.indisprimary";
}

std::string clusterStatement(const std::string& table, const std::string& index) {
  checkTableName(table);
  if (index.find('"') != std::string::npos) {
    throw UsageError("index name \"" + index + "\" holds a double quote");
  }
  return "CLUSTER " + table + " USING \"" + index + "\"";
}

}  // namespace newsclass
