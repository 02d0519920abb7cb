// How many articles of one category a corpus table holds.
#include <string>

#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "processor/corpus_processor.h"

namespace newsclass {

double CorpusProcessor::countCategoryArticles(std::string category, std::string tableName) {
  const std::string query = categoryCountQuery(tableName, category);
  OdbcConnection connection(environment().connectionString, "countCategoryArticles");
  RowCursor rows = connection.execute(query);
  // A count query always answers with one row.
  return atofLike(rows.text("p"));
}

}  // namespace newsclass
