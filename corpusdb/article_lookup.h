// Reads of articles by id: the stored category of an article, its whole record, and the stored
// categories of many. The fields come back trimmed of blanks, as every comparison of database
// text is.
#ifndef NEWSCLASS_CORPUSDB_ARTICLE_LOOKUP_H_
#define NEWSCLASS_CORPUSDB_ARTICLE_LOOKUP_H_

#include <cstdint>
#include <map>
#include <string>

#include "corpusdb/odbc_connection.h"

namespace newsclass {

struct ArticleRecord {
  std::string articleName;
  std::string category;
  std::string abstract;
};

// The stored category of article `articleId` of `tableName`. An id the table lacks is a
// DatabaseFault (SQLSTATE 02000) naming the table and the id.
std::string fetchArticleCategory(const std::string& connectionString, int32_t articleId,
                                 const std::string& tableName);

// Reads the title, category and text of one article into `record`, which changes only once
// every field was read. Faults as fetchArticleCategory. Returns true.
bool fetchArticleRecord(const std::string& connectionString, int32_t articleId,
                        const std::string& tableName, ArticleRecord& record);

// The stored category of every article the query reads (columns ArticleId and Categorization),
// trimmed of blanks. The first row of an id counts, as a lookup by id reads only the first row
// it gets.
std::map<int32_t, std::string> readStoredCategories(OdbcConnection& connection,
                                                    const std::string& query);

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_ARTICLE_LOOKUP_H_
