// One connection to the corpus database over ODBC, open for the life of the object, and the
// forward-only rows of a query. Every database-using stage opens one, executes its query (or
// one query per category), walks the rows and lets the destructor close everything.
// Column values are read as wide text and converted to GBK; columns are found by name without
// regard to case. Every failure raises DatabaseFault naming the stage given at construction.
#ifndef NEWSCLASS_CORPUSDB_ODBC_CONNECTION_H_
#define NEWSCLASS_CORPUSDB_ODBC_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corpusdb/database_fault.h"

namespace newsclass {

class OdbcConnection;

// The rows of one executed query; the cursor starts on the first row (or at the end when
// there is none). A cursor belongs to its connection: executing the next query on the same
// connection, or closing the connection, closes it (reads then fault).
class RowCursor {
 public:
  RowCursor(RowCursor&&) noexcept;
  RowCursor& operator=(RowCursor&&) noexcept;
  ~RowCursor();

  bool atEnd() const;
  void moveNext();
  // The current row's value of a column as GBK text. Columns may be read in any order and more
  // than once per row. Reading at the end, a missing column or a NULL value raises
  // DatabaseFault (SQLSTATE "02000" for a read past the last row).
  std::string text(std::string_view column);
  // Whether the current row's value of a column is NULL (faults as text does otherwise).
  bool isNull(std::string_view column);
  // The current row's value of a column as a 32-bit integer, e.g. an ArticleId: decimal digits
  // with an optional sign, blanks around them allowed. A value that is not such an integer, or
  // that lies outside -2147483648..2147483647, raises DatabaseFault (SQLSTATE 22018 or 22003)
  // naming the column, the value and the query, rather than being cut to 32 bits.
  int32_t int32(std::string_view column);

 private:
  friend class OdbcConnection;
  struct State;
  explicit RowCursor(std::unique_ptr<State> state);
  // Reads the current row's values up to `column` and returns its index; faults at the end.
  size_t readThrough(std::string_view column);
  std::unique_ptr<State> state_;
};

// Whether connecting may create a missing database. Only the embedded SQLite database can be
// created by connecting; a reading stage must not silently create an empty one, so by default
// a missing SQLite file is a fault.
enum class DatabaseCreation { kMustExist, kCreateIfMissing };

class OdbcConnection {
 public:
  // Connects with an ODBC connection string; `operation` names the stage in fault messages.
  OdbcConnection(const std::string& connectionString, std::string operation,
                 DatabaseCreation creation = DatabaseCreation::kMustExist);
  // Rolls back an open transaction, then disconnects.
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Executes a query (GBK text). A previous cursor of this connection is closed first.
  RowCursor execute(const std::string& query);
  // Executes a statement that returns no rows.
  void executeStatement(const std::string& statement);
  // Executes a statement with text parameters bound to its "?" markers (GBK values; nullopt
  // binds NULL). Repeating the same statement text reuses its prepared form.
  void executeWithParameters(const std::string& statement,
                             const std::vector<std::optional<std::string>>& parameters);

  // The driver's name for the database system (SQL_DBMS_NAME), e.g. "SQLite", "PostgreSQL",
  // "Microsoft SQL Server".
  std::string dbmsName();

  // Turns autocommit off until commit() or rollback(), which end the transaction and turn it
  // back on.
  void beginTransaction();
  void commit();
  void rollback();

  const std::string& operation() const;

 private:
  friend class RowCursor;
  struct State;
  std::unique_ptr<State> state_;
};

// The connection string with the values of PWD= and Password= replaced by "***", for messages.
// Keys match without regard to case; a value in {braces} is masked whole.
std::string maskConnectionString(const std::string& connectionString);

// The default embedded database: the SQLite file corpus.db in the data folder.
// Returns "Driver=SQLite3;Database=<databasePath>", or, for a path the SQLite driver would
// misread (one holding ";", "{" or "}", starting with "file:" or with blanks at either end),
// "Driver=SQLite3;Database=file:<path with other bytes than letters, digits and /._~- as %HH>".
std::string sqliteConnectionString(const std::string& databasePath);

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_ODBC_CONNECTION_H_
