#include "corpusdb/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/encoding.h"
#include "base/fast_gbk.h"
#include "base/text_utils.h"
#include "corpusdb/connection_string.h"

namespace newsclass {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide characters must be UTF-16 units");

namespace {

// Every text value is read in chunks of at least this many UTF-16 units; a column's buffer
// keeps its size from row to row, so a typical article is read with one call.
constexpr size_t kFirstChunkUnits = 16384;

SQLWCHAR* wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// The first diagnostic record of a handle, or a generic one when the driver left none.
struct Diagnostic {
  std::string sqlState = "HY000";
  int nativeCode = 0;
  std::string message = "the driver reported a failure without a message";
};

Diagnostic readDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle) {
  Diagnostic diagnostic;
  if (handle == SQL_NULL_HANDLE) return diagnostic;
  std::u16string state(6, u'\0');
  SQLINTEGER native = 0;
  std::u16string message(1024, u'\0');
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagRecW(handleType, handle, 1, wide(state), &native, wide(message),
                                static_cast<SQLSMALLINT>(message.size()), &length);
  if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
    message.assign(static_cast<size_t>(length) + 1, u'\0');
    rc = SQLGetDiagRecW(handleType, handle, 1, wide(state), &native, wide(message),
                        static_cast<SQLSMALLINT>(message.size()), &length);
  }
  if (!SQL_SUCCEEDED(rc)) return diagnostic;
  state.resize(5);
  diagnostic.sqlState = utf16ToUtf8(state);
  diagnostic.nativeCode = static_cast<int>(native);
  message.resize(
      std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size()));
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) {
    message.pop_back();
  }
  if (!message.empty()) diagnostic.message = utf16ToUtf8(message);
  return diagnostic;
}

// A driver message may quote the connection string; no password may leave in it.
std::string maskSecrets(std::string message, const std::string& connectionString) {
  for (const std::string& secret : connectionSecrets(connectionString)) {
    if (secret.empty()) continue;
    for (size_t at = message.find(secret); at != std::string::npos;
         at = message.find(secret, at + 3)) {
      message.replace(at, secret.size(), "***");
    }
  }
  return message;
}

// Throws the DatabaseFault of a failed ODBC call: the first diagnostic record of `handle`, with
// any password of `connectionString` masked and `context` (when given) in parentheses after it.
[[noreturn]] void throwDriverFault(const char* call, const std::string& operation,
                                   SQLSMALLINT handleType, SQLHANDLE handle,
                                   const std::string& connectionString,
                                   const std::string& context = std::string()) {
  Diagnostic d = readDiagnostic(handleType, handle);
  std::string message = maskSecrets(d.message, connectionString);
  if (!context.empty()) message += " (" + context + ")";
  throw DatabaseFault(call, operation, d.sqlState, d.nativeCode, message);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Connection state

// True for a driver whose statement text must arrive as narrow UTF-8 (SQLite's ODBC driver).
static bool driverTakesNarrowUtf8(SQLHDBC connection) {
  SQLCHAR name[256] = {0};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DRIVER_NAME, name, sizeof name, &length))) {
    return false;
  }
  return containsIgnoringCase(reinterpret_cast<const char*>(name), "sqlite");
}

// Hands GBK statement text to an ODBC call that takes it (SQLExecDirect or SQLPrepare), wide or
// as narrow UTF-8 as the driver needs.
using NarrowTextCall = SQLRETURN (*)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
using WideTextCall = SQLRETURN (*)(SQLHSTMT, SQLWCHAR*, SQLINTEGER);

static SQLRETURN passStatementText(SQLHSTMT statement, const std::string& gbkText, bool narrowUtf8,
                                   NarrowTextCall narrow, WideTextCall wide) {
  if (narrowUtf8) {
    std::string text = gbkToUtf8(gbkText);
    return narrow(statement, reinterpret_cast<SQLCHAR*>(text.data()),
                  static_cast<SQLINTEGER>(text.size()));
  }
  std::u16string text = gbkToUtf16(gbkText);
  return wide(statement, reinterpret_cast<SQLWCHAR*>(text.data()),
              static_cast<SQLINTEGER>(text.size()));
}

static SQLRETURN execDirect(SQLHSTMT statement, const std::string& gbkText, bool narrowUtf8) {
  return passStatementText(statement, gbkText, narrowUtf8, SQLExecDirect, SQLExecDirectW);
}

static SQLRETURN prepare(SQLHSTMT statement, const std::string& gbkText, bool narrowUtf8) {
  return passStatementText(statement, gbkText, narrowUtf8, SQLPrepare, SQLPrepareW);
}

struct OdbcConnection::State {
  std::string operation;
  std::string connectionString;
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  bool connected = false;
  bool inTransaction = false;
  // SQLite's ODBC driver has only the narrow entry points, and the driver manager would narrow
  // wide statement text by dropping the high byte of every character; that driver takes UTF-8.
  bool narrowUtf8Statements = false;
  // The cursor of the last query, closed when another query runs or the connection closes.
  RowCursor::State* activeCursor = nullptr;
  // The statement last run with parameters, kept prepared for repeated inserts.
  SQLHSTMT preparedStatement = SQL_NULL_HSTMT;
  std::string preparedText;
  std::vector<std::u16string> parameterBuffers;
  std::vector<SQLLEN> parameterLengths;

  [[noreturn]] void fail(const char* call, SQLSMALLINT handleType, SQLHANDLE handle,
                         const std::string& context = std::string()) const {
    throwDriverFault(call, operation, handleType, handle, connectionString, context);
  }

  void check(SQLRETURN rc, const char* call, SQLSMALLINT handleType, SQLHANDLE handle) const {
    if (!SQL_SUCCEEDED(rc)) fail(call, handleType, handle);
  }

  SQLHSTMT newStatement() {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    check(SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement), "SQLAllocHandle", SQL_HANDLE_DBC,
          connection);
    return statement;
  }

  void closeActiveCursor();
  // Prepares `statement` unless it is the one kept prepared, binds the parameters as wide text
  // and runs it; a failed call throws its DatabaseFault.
  void bindAndExecute(const std::string& statement,
                      const std::vector<std::optional<std::string>>& parameters);
  // Commits or rolls back (SQL_COMMIT, SQL_ROLLBACK) and returns to autocommit.
  void endTransaction(SQLSMALLINT completion);
  void releasePrepared() {
    if (preparedStatement != SQL_NULL_HSTMT) {
      SQLFreeHandle(SQL_HANDLE_STMT, preparedStatement);
      preparedStatement = SQL_NULL_HSTMT;
      preparedText.clear();
    }
  }
  void disconnect() {
    closeActiveCursor();
    releasePrepared();
    if (connected) {
      if (inTransaction) {
        SQLEndTran(SQL_HANDLE_DBC, connection, SQL_ROLLBACK);
        inTransaction = false;
      }
      SQLDisconnect(connection);
      connected = false;
    }
    if (connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection);
    if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
    connection = SQL_NULL_HDBC;
    environment = SQL_NULL_HENV;
  }
};

// ---------------------------------------------------------------------------------------------
// Cursor state

struct RowCursor::State {
  struct Column {
    std::string name;
    std::u16string buffer;  // the value's UTF-16 units, then spare room
    size_t length = 0;      // units of the value in buffer
    bool isNull = false;
  };

  OdbcConnection::State* owner = nullptr;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  std::string query;  // GBK, for messages about the values it returned
  bool atEnd = true;
  std::vector<Column> columns;
  // Columns 0 .. readCount-1 of the current row are in their buffers. Drivers may only answer
  // SQLGetData in column order, so a later column is read after the ones before it.
  size_t readCount = 0;
  // The last column asked for, which is usually asked for again on the next row.
  std::string lastName;
  size_t lastIndex = 0;

  const std::string& operation() const {
    static const std::string closed = "a closed query";
    return owner != nullptr ? owner->operation : closed;
  }

  [[noreturn]] void fail(const char* call) const {
    throwDriverFault(call, operation(), SQL_HANDLE_STMT, statement,
                     owner != nullptr ? owner->connectionString : std::string());
  }

  void close() {
    if (statement != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, statement);
    statement = SQL_NULL_HSTMT;
    atEnd = true;
    if (owner != nullptr && owner->activeCursor == this) owner->activeCursor = nullptr;
    owner = nullptr;
  }

  void describeColumns() {
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(statement, &count))) fail("SQLNumResultCols");
    columns.resize(static_cast<size_t>(std::max<SQLSMALLINT>(count, 0)));
    std::u16string name(256, u'\0');
    for (SQLSMALLINT i = 0; i < count; ++i) {
      SQLSMALLINT nameLength = 0, dataType = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLRETURN rc = SQLDescribeColW(statement, static_cast<SQLUSMALLINT>(i + 1), wide(name),
                                     static_cast<SQLSMALLINT>(name.size()), &nameLength, &dataType,
                                     &size, &digits, &nullable);
      if (!SQL_SUCCEEDED(rc)) fail("SQLDescribeColW");
      size_t units = std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(nameLength, 0)),
                                      name.size() - 1);
      columns[static_cast<size_t>(i)].name = utf16ToUtf8(std::u16string_view(name.data(), units));
    }
  }

  void fetch() {
    readCount = 0;
    SQLRETURN rc = SQLFetch(statement);
    if (rc == SQL_NO_DATA) {
      atEnd = true;
      return;
    }
    if (!SQL_SUCCEEDED(rc)) fail("SQLFetch");
    atEnd = false;
  }

  size_t columnIndex(std::string_view name) {
    if (!lastName.empty() && lastName == name) return lastIndex;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (equalsIgnoringCase(columns[i].name, name)) {
        lastName.assign(name);
        lastIndex = i;
        return i;
      }
    }
    std::string known;
    for (const Column& column : columns) known += (known.empty() ? "" : ", ") + column.name;
    throw DatabaseFault(
        "SQLGetData", operation(), "07009", 0,
        "the query has no column " + std::string(name) + " (columns: " + known + ")");
  }

  // Reads one column of the current row into its buffer, chunk by chunk.
  void readColumn(size_t index) {
    Column& column = columns[index];
    column.isNull = false;
    if (column.buffer.size() < kFirstChunkUnits) column.buffer.resize(kFirstChunkUnits);
    size_t used = 0;
    for (;;) {
      size_t room = column.buffer.size() - used;  // units, terminator included
      SQLLEN indicator = 0;
      SQLRETURN rc = SQLGetData(statement, static_cast<SQLUSMALLINT>(index + 1), SQL_C_WCHAR,
                                column.buffer.data() + used,
                                static_cast<SQLLEN>(room * sizeof(char16_t)), &indicator);
      if (rc == SQL_NO_DATA) break;  // the previous chunk was the last one
      if (!SQL_SUCCEEDED(rc)) fail("SQLGetData");
      if (indicator == SQL_NULL_DATA) {
        column.isNull = true;
        break;
      }
      if (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) / sizeof(char16_t) < room) {
        used += static_cast<size_t>(indicator) / sizeof(char16_t);
        break;
      }
      // Truncated: the chunk holds room - 1 units and a terminator.
      used += room - 1;
      size_t needed =
          indicator == SQL_NO_TOTAL
              ? column.buffer.size() * 2
              : used + static_cast<size_t>(indicator) / sizeof(char16_t) - (room - 1) + 1;
      column.buffer.resize(std::max(needed, used + 2));
    }
    column.length = used;
  }
};

void OdbcConnection::State::closeActiveCursor() {
  if (activeCursor != nullptr) activeCursor->close();
  activeCursor = nullptr;
}

// ---------------------------------------------------------------------------------------------
// RowCursor

RowCursor::RowCursor(std::unique_ptr<State> state) : state_(std::move(state)) {}
RowCursor::RowCursor(RowCursor&&) noexcept = default;

RowCursor& RowCursor::operator=(RowCursor&& other) noexcept {
  if (this != &other) {
    if (state_) state_->close();
    state_ = std::move(other.state_);
  }
  return *this;
}

RowCursor::~RowCursor() {
  if (state_) state_->close();
}

bool RowCursor::atEnd() const { return !state_ || state_->atEnd; }

void RowCursor::moveNext() {
  if (atEnd()) {
    throw DatabaseFault("SQLFetch", state_ ? state_->operation() : std::string("a moved query"),
                        "02000", 0, "cannot move past the last row");
  }
  state_->fetch();
}

size_t RowCursor::readThrough(std::string_view column) {
  if (atEnd()) {
    throw DatabaseFault(
        "SQLGetData", state_ ? state_->operation() : std::string("a moved query"), "02000", 0,
        "no row to read column " + std::string(column) + " from: the query returned no more rows");
  }
  State& state = *state_;
  size_t index = state.columnIndex(column);
  while (state.readCount <= index) state.readColumn(state.readCount++);
  return index;
}

bool RowCursor::isNull(std::string_view column) {
  return state_->columns[readThrough(column)].isNull;
}

std::string RowCursor::text(std::string_view column) {
  const size_t index = readThrough(column);
  State& state = *state_;
  const State::Column& value = state.columns[index];
  if (value.isNull) {
    throw DatabaseFault("SQLGetData", state.operation(), "22002", 0,
                        "column " + value.name + " is NULL");
  }
  std::string text;
  utf16ToGbkInto(std::u16string_view(value.buffer.data(), value.length), text);
  return text;
}

int32_t RowCursor::int32(std::string_view column) {
  const std::string value = text(column);
  std::string_view number(value);
  const size_t first = number.find_first_not_of(" \t");
  number = first == std::string_view::npos
               ? std::string_view()
               : number.substr(first, number.find_last_not_of(" \t") - first + 1);
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  const size_t digitsAt = !number.empty() && number.front() == '-' ? 1 : 0;
  const bool wellFormed =
      number.size() > digitsAt &&
      number.find_first_not_of("0123456789", digitsAt) == std::string_view::npos;
  int32_t result = 0;
  if (wellFormed) {
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), result);
    if (ec == std::errc() && end == number.data() + number.size()) return result;
  }
  State& state = *state_;
  const std::string shown =
      state.columns[state.columnIndex(column)].name + " value \"" + gbkToUtf8(value) + "\"";
  const std::string where = " (query: " + gbkToUtf8(state.query) + ")";
  if (wellFormed) {
    throw DatabaseFault("SQLGetData", state.operation(), "22003", 0,
                        shown + " is outside the 32-bit integer range" + where);
  }
  throw DatabaseFault("SQLGetData", state.operation(), "22018", 0,
                      shown + " is not an integer" + where);
}

// ---------------------------------------------------------------------------------------------
// OdbcConnection

OdbcConnection::OdbcConnection(const std::string& connectionString, std::string operation,
                               DatabaseCreation creation)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.operation = std::move(operation);
  s.connectionString = connectionString;

  if (creation == DatabaseCreation::kMustExist) {
    if (std::optional<std::string> file = sqliteDatabaseFile(connectionString)) {
      std::error_code ec;
      if (!std::filesystem::exists(*file, ec)) {
        throw DatabaseFault("SQLDriverConnect", s.operation, "08001", 0,
                            "database file " + *file +
                                " does not exist; import a corpus first (newsclass import FILE)");
      }
    }
  }

  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &s.environment))) {
    s.environment = SQL_NULL_HENV;
    throw DatabaseFault("SQLAllocHandle", s.operation, "HY001", 0,
                        "cannot allocate an ODBC environment");
  }
  try {
    s.check(SQLSetEnvAttr(s.environment, SQL_ATTR_ODBC_VERSION,
                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            "SQLSetEnvAttr", SQL_HANDLE_ENV, s.environment);
    s.check(SQLAllocHandle(SQL_HANDLE_DBC, s.environment, &s.connection), "SQLAllocHandle",
            SQL_HANDLE_ENV, s.environment);
    std::u16string text = utf8ToUtf16(driverConnectionString(connectionString));
    SQLSMALLINT outLength = 0;
    SQLRETURN rc =
        SQLDriverConnectW(s.connection, nullptr, wide(text), static_cast<SQLSMALLINT>(text.size()),
                          nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      s.fail("SQLDriverConnectW", SQL_HANDLE_DBC, s.connection,
             maskConnectionString(connectionString));
    }
    s.connected = true;
    s.narrowUtf8Statements = driverTakesNarrowUtf8(s.connection);
  } catch (...) {
    s.disconnect();
    throw;
  }
}

OdbcConnection::~OdbcConnection() {
  if (state_) state_->disconnect();
}

const std::string& OdbcConnection::operation() const { return state_->operation; }

RowCursor OdbcConnection::execute(const std::string& query) {
  State& s = *state_;
  s.closeActiveCursor();
  auto cursor = std::make_unique<RowCursor::State>();
  cursor->owner = &s;
  cursor->statement = s.newStatement();
  // From here the cursor owns the statement handle and frees it on every path.
  RowCursor rows(std::move(cursor));
  RowCursor::State& c = *rows.state_;
  c.query = query;
  SQLRETURN rc = execDirect(c.statement, query, s.narrowUtf8Statements);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) c.fail("SQLExecDirect");
  c.describeColumns();
  if (c.columns.empty()) {
    c.atEnd = true;
  } else {
    c.fetch();
  }
  s.activeCursor = &c;
  return rows;
}

void OdbcConnection::executeStatement(const std::string& statement) {
  State& s = *state_;
  s.closeActiveCursor();
  // The statement handle is freed on every path, after a fault has read its diagnostics.
  std::unique_ptr<void, void (*)(SQLHSTMT)> handle(
      s.newStatement(), [](SQLHSTMT h) { SQLFreeHandle(SQL_HANDLE_STMT, h); });
  SQLRETURN rc = execDirect(handle.get(), statement, s.narrowUtf8Statements);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
    s.fail("SQLExecDirect", SQL_HANDLE_STMT, handle.get());
  }
}

void OdbcConnection::executeWithParameters(
    const std::string& statement, const std::vector<std::optional<std::string>>& parameters) {
  State& s = *state_;
  s.closeActiveCursor();
  try {
    s.bindAndExecute(statement, parameters);
  } catch (const DatabaseFault&) {
    // A statement that failed is not kept for the next call.
    s.releasePrepared();
    throw;
  }
}

void OdbcConnection::State::bindAndExecute(
    const std::string& statement, const std::vector<std::optional<std::string>>& parameters) {
  State& s = *this;
  if (s.preparedStatement == SQL_NULL_HSTMT || s.preparedText != statement) {
    s.releasePrepared();
    s.preparedStatement = s.newStatement();
    if (!SQL_SUCCEEDED(prepare(s.preparedStatement, statement, s.narrowUtf8Statements))) {
      s.fail("SQLPrepare", SQL_HANDLE_STMT, s.preparedStatement);
    }
    s.preparedText = statement;
  }
  SQLHSTMT handle = s.preparedStatement;
  SQLFreeStmt(handle, SQL_RESET_PARAMS);
  s.parameterBuffers.resize(parameters.size());
  s.parameterLengths.resize(parameters.size());
  for (size_t i = 0; i < parameters.size(); ++i) {
    std::u16string& buffer = s.parameterBuffers[i];
    SQLLEN& length = s.parameterLengths[i];
    SQLULEN columnSize = 1;
    if (parameters[i]) {
      buffer = gbkToUtf16(*parameters[i]);
      length = static_cast<SQLLEN>(buffer.size() * sizeof(char16_t));
      columnSize = std::max<SQLULEN>(buffer.size(), 1);
    } else {
      buffer.clear();
      length = SQL_NULL_DATA;
    }
    // Long texts go as long wide text: some servers cap ordinary wide text at 4000 units.
    SQLSMALLINT sqlType = columnSize > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
    buffer.push_back(u'\0');
    SQLRETURN rc = SQLBindParameter(handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                    SQL_C_WCHAR, sqlType, columnSize, 0, wide(buffer),
                                    static_cast<SQLLEN>(buffer.size() * sizeof(char16_t)), &length);
    if (!SQL_SUCCEEDED(rc)) s.fail("SQLBindParameter", SQL_HANDLE_STMT, handle);
  }
  SQLRETURN rc = SQLExecute(handle);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) s.fail("SQLExecute", SQL_HANDLE_STMT, handle);
  SQLFreeStmt(handle, SQL_CLOSE);
}

std::string OdbcConnection::dbmsName() {
  State& s = *state_;
  std::u16string name(256, u'\0');
  SQLSMALLINT length = 0;
  s.check(SQLGetInfoW(s.connection, SQL_DBMS_NAME, wide(name),
                      static_cast<SQLSMALLINT>(name.size() * sizeof(char16_t)), &length),
          "SQLGetInfoW", SQL_HANDLE_DBC, s.connection);
  size_t units = std::min<size_t>(
      static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)) / sizeof(char16_t), name.size() - 1);
  return utf16ToUtf8(std::u16string_view(name.data(), units));
}

void OdbcConnection::beginTransaction() {
  State& s = *state_;
  s.closeActiveCursor();
  s.check(SQLSetConnectAttr(s.connection, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER),
          "SQLSetConnectAttr", SQL_HANDLE_DBC, s.connection);
  s.inTransaction = true;
}

void OdbcConnection::commit() { state_->endTransaction(SQL_COMMIT); }

void OdbcConnection::rollback() { state_->endTransaction(SQL_ROLLBACK); }

void OdbcConnection::State::endTransaction(SQLSMALLINT completion) {
  closeActiveCursor();
  releasePrepared();
  check(SQLEndTran(SQL_HANDLE_DBC, connection, completion), "SQLEndTran", SQL_HANDLE_DBC,
        connection);
  inTransaction = false;
  check(SQLSetConnectAttr(connection, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER),
        "SQLSetConnectAttr", SQL_HANDLE_DBC, connection);
}

}  // namespace newsclass
