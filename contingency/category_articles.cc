// The article ids of each category, read from one corpus table over one connection.
#include "contingency/category_articles.h"

#include <string>
#include <utility>
#include <vector>

#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"

namespace newsclass {

bool collectCategoryArticles(const StageEnvironment& environment, const CategoryList& categories,
                             const std::string& tableName, CategoryArticles& result) {
  OdbcConnection connection(environment.connectionString, "collectCategoryArticles");
  for (const std::string& category : categories) {
    std::vector<int32_t> ids;
    RowCursor rows = connection.execute(categoryArticleIdsQuery(tableName, category));
    while (!rows.atEnd()) {
      ids.push_back(rows.int32(kIdColumn));
      rows.moveNext();
    }
    // A category without rows is left out, so every stored list is non-empty.
    if (!ids.empty()) result[category] = std::move(ids);
  }
  return !result.empty();
}

}  // namespace newsclass
