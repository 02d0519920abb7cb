// How many articles of one category a corpus table holds.
#include "features/category_counts.h"

#include <string>

#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"

namespace newsclass {

double countCategoryArticles(const StageEnvironment& environment, const std::string& category,
                             const std::string& tableName) {
  const std::string query = categoryCountQuery(tableName, category);
  OdbcConnection connection(environment.connectionString, "countCategoryArticles");
  RowCursor rows = connection.execute(query);
  // A count query always answers with one row.
  return atofLike(rows.text(kCategoryCountColumn));
}

}  // namespace newsclass
