#include "knn/knn_queries.h"

#include "corpusdb/queries.h"

namespace newsclass {

std::string allArticleCategoriesQuery(const std::string& table) {
  checkTableName(table);
  return "select ArticleId, Categorization from " + table +
         " where ArticleId is not null and Categorization is not null";
}

std::string neighbourIdCategoriesQuery(const std::string& table, const std::string& idList) {
  checkTableName(table);
  return "select ArticleId, Categorization from " + table + " where ArticleId in " + idList;
}

std::string distinctCategoriesQuery(const std::string& table) {
  checkTableName(table);
  return "select distinct Categorization from " + table + " where Categorization is not null";
}

}  // namespace newsclass
