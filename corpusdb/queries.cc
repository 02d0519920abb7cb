#include "corpusdb/queries.h"

#include "base/errors.h"

namespace newsclass {
namespace {

bool isIdentifier(const std::string& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

// A category name goes between single quotes as a value: every quote in it is doubled.
std::string quoted(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 2);
  out += '\'';
  for (char c : value) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

// "(" then integers separated by "," then ")"; each integer an optional "-" and digits.
bool isIdList(const std::string& list) {
  if (list.size() < 3 || list.front() != '(' || list.back() != ')') return false;
  size_t i = 1;
  const size_t end = list.size() - 1;
  for (;;) {
    if (i < end && list[i] == '-') ++i;
    size_t digitsAt = i;
    while (i < end && list[i] >= '0' && list[i] <= '9') ++i;
    if (i == digitsAt) return false;
    if (i == end) return true;
    if (list[i] != ',') return false;
    ++i;
  }
}

void checkIdList(const std::string& idList) {
  if (!isIdList(idList)) {
    throw UsageError("article id list \"" + idList +
                     "\" is not a parenthesised list of integers separated by \",\"");
  }
}

}  // namespace

void checkTableName(const std::string& tableName) {
  if (!isIdentifier(tableName)) {
    throw UsageError("table name \"" + tableName +
                     "\" is not an identifier (letters, digits and \"_\", not starting with a "
                     "digit)");
  }
}

std::string articleRangeQuery(const std::string& table, int32_t firstId, int32_t lastId) {
  checkTableName(table);
  return "select ArticleId,CAbstract from " + table + " where ArticleId between " +
         std::to_string(firstId) + " and " + std::to_string(lastId);
}

std::string articleCountQuery(const std::string& table, int32_t firstId, int32_t lastId) {
  checkTableName(table);
  return "select count(*) as n from " + table + " where ArticleId between " + std::to_string(firstId) +
         " and " + std::to_string(lastId);
}

std::string categoryArticleIdsQuery(const std::string& table, const std::string& category) {
  checkTableName(table);
  return "select ArticleId from " + table + " where Categorization=" + quoted(category);
}

std::string categoryCountQuery(const std::string& table, const std::string& category) {
  checkTableName(table);
  return "select count(ArticleId) as p from " + table + " where Categorization=" +
         quoted(category);
}

std::string neighbourCategoriesQuery(const std::string& table, const std::string& idList) {
  checkTableName(table);
  checkIdList(idList);
  return "select Categorization from " + table + " where ArticleId in " + idList;
}

std::string articleCategoryQuery(const std::string& table, int32_t articleId) {
  checkTableName(table);
  return "select Categorization  from " + table + " where ArticleId=" + std::to_string(articleId);
}

std::string articleRecordQuery(const std::string& table, int32_t articleId) {
  checkTableName(table);
  return "select CArticleName, Categorization,CAbstract  from " + table +
         " where ArticleId=" + std::to_string(articleId);
}

std::string allArticleCategoriesQuery(const std::string& table) {
  checkTableName(table);
  return "select ArticleId, Categorization from " + table +
         " where ArticleId is not null and Categorization is not null";
}

std::string neighbourIdCategoriesQuery(const std::string& table, const std::string& idList) {
  checkTableName(table);
  checkIdList(idList);
  return "select ArticleId, Categorization from " + table + " where ArticleId in " + idList;
}

std::string distinctCategoriesQuery(const std::string& table) {
  checkTableName(table);
  return "select distinct Categorization from " + table + " where Categorization is not null";
}

std::string highestArticleIdQuery(const std::string& table) {
  checkTableName(table);
  return "select coalesce(max(ArticleId), 0) as HighestArticleId from " + table;
}

}  // namespace newsclass
