// One connection to the corpus database over ODBC, open for the life of the object, and the
// forward-only rows of a query. Every database-using stage opens one, executes its query (or
// one query per category), walks the rows and lets the destructor close everything.
// Column values are read as wide text and converted to GBK; columns are found by name without
// regard to case. Every failure raises DatabaseFault naming the stage given at construction.
#ifndef NEWSCLASS_CORPUSDB_ODBC_CONNECTION_H_
#define NEWSCLASS_CORPUSDB_ODBC_CONNECTION_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corpusdb/database_fault.h"

namespace newsclass {

class OdbcConnection;

// The rows of one executed query; the cursor starts on the first row (or at the end when
// there is none).
class RowCursor {
 public:
  RowCursor(RowCursor&&) noexcept;
  RowCursor& operator=(RowCursor&&) noexcept;
  ~RowCursor();

  bool atEnd() const;
  void moveNext();
  // The current row's value of a column as GBK text. Reading at the end, a missing column or a
  // NULL value raises DatabaseFault.
  std::string text(std::string_view column);

 private:
  friend class OdbcConnection;
  struct State;
  explicit RowCursor(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

class OdbcConnection {
 public:
  // Connects with an ODBC connection string; `operation` names the stage in fault messages.
  OdbcConnection(const std::string& connectionString, std::string operation);
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Executes a query (GBK text); the previous cursor of this connection must be gone.
  RowCursor execute(const std::string& query);
  // Executes a statement that returns no rows.
  void executeStatement(const std::string& statement);
  // Executes a statement with text parameters bound to its "?" markers (GBK values; nullopt
  // binds NULL).
  void executeWithParameters(const std::string& statement,
                             const std::vector<std::optional<std::string>>& parameters);

  // The driver's name for the database system (SQL_DBMS_NAME), e.g. "SQLite", "PostgreSQL",
  // "Microsoft SQL Server".
  std::string dbmsName();

  void beginTransaction();
  void commit();
  void rollback();

  const std::string& operation() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The connection string with the values of PWD= and Password= replaced by "***", for messages.
std::string maskConnectionString(const std::string& connectionString);

// The default embedded database: the SQLite file corpus.db in the data folder.
std::string sqliteConnectionString(const std::string& databasePath);

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_ODBC_CONNECTION_H_
