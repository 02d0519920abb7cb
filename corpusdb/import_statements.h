// The statements an import issues besides the queries of corpusdb/queries.h: the definition of
// a corpus table, emptying it, the parameterised insert of one article, and PostgreSQL's
// rewriting of a table in the order of its primary key. Table names are checked as identifiers
// (UsageError otherwise) before a text is built.
#ifndef NEWSCLASS_CORPUSDB_IMPORT_STATEMENTS_H_
#define NEWSCLASS_CORPUSDB_IMPORT_STATEMENTS_H_

#include <string>

namespace newsclass {

// "CREATE TABLE <table> (ArticleId INTEGER PRIMARY KEY, CArticleName <textType>,
// Categorization <textType>, CAbstract <textType>)"; textType is a column type such as TEXT.
std::string createCorpusTableStatement(const std::string& table, const std::string& textType);
// "DELETE FROM <table>"
std::string deleteArticlesStatement(const std::string& table);
// "INSERT INTO <table> (ArticleId, CArticleName, Categorization, CAbstract) VALUES
// (CAST(? AS INTEGER), ?, ?, ?)": the id goes as text and is cast by the database, so that
// every parameter binds the same way.
std::string insertArticleStatement(const std::string& table);
// PostgreSQL: the name (column indexname) of the table's primary-key index; no row when it has
// none.
std::string primaryKeyIndexQuery(const std::string& table);
// PostgreSQL: "CLUSTER <table> USING "<index>"", rewriting the table in the index's order. The
// index name comes from primaryKeyIndexQuery and must not hold a double quote (UsageError).
std::string clusterStatement(const std::string& table, const std::string& index);

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_IMPORT_STATEMENTS_H_
