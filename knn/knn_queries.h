// Queries of the classification's own reports and checks, beside the system's six query texts:
// the stored category of every article of a table at once, of a list of neighbours with their
// ids, and the distinct categories of a table.
// Table names are checked as identifiers (UsageError otherwise) before a text is built.
#ifndef NEWSCLASS_KNN_KNN_QUERIES_H_
#define NEWSCLASS_KNN_KNN_QUERIES_H_

#include <string>

namespace newsclass {

// "select ArticleId, Categorization from <table> where ArticleId is not null and
// Categorization is not null"
std::string allArticleCategoriesQuery(const std::string& table);
// "select ArticleId, Categorization from <table> where ArticleId in <idList>"
std::string neighbourIdCategoriesQuery(const std::string& table, const std::string& idList);
// "select distinct Categorization from <table> where Categorization is not null"
std::string distinctCategoriesQuery(const std::string& table);

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_KNN_QUERIES_H_
