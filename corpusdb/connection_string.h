// Reading ODBC connection strings: "key=value" attributes separated by ";", where a value in
// {braces} may hold ";" and "}}" stands for "}". Used to keep passwords out of messages and to
// find the file behind the embedded SQLite database.
#ifndef NEWSCLASS_CORPUSDB_CONNECTION_STRING_H_
#define NEWSCLASS_CORPUSDB_CONNECTION_STRING_H_

#include <optional>
#include <string>
#include <vector>

namespace newsclass {

struct ConnectionAttribute {
  std::string key;    // as written, blanks around it removed
  std::string value;  // braces removed, "}}" read as "}"
  size_t valueBegin;  // the value's bytes in the string, braces included
  size_t valueEnd;
};

std::vector<ConnectionAttribute> parseConnectionString(const std::string& connectionString);

// The values of the PWD and Password attributes, raw and as written (braces included), for
// removing them from driver messages.
std::vector<std::string> connectionSecrets(const std::string& connectionString);

// The database file when the string connects through the SQLite ODBC driver ("SQLite3" or
// "SQLite"), else nullopt; nullopt too for an in-memory database. A "file:" URI (which
// sqliteConnectionString writes for awkward paths) is read back to the path it names.
std::optional<std::string> sqliteDatabaseFile(const std::string& connectionString);

// How long a SQLite connection waits for a lock another connection holds before the statement
// fails with "database is locked". Without a Timeout= of its own the SQLite driver waits for
// ever (and takes Timeout=0 to mean the same).
constexpr int kDefaultSqliteTimeoutMilliseconds = 30000;

// The string with ";Timeout=<milliseconds>" added when it connects through the SQLite driver
// and sets no Timeout= of its own; other strings are returned unchanged.
std::string withSqliteTimeout(const std::string& connectionString, int milliseconds);

// The string handed to the driver. For the SQLite driver, rows are stepped through one at a time
// (StepAPI=1) unless the string says otherwise: by default that driver reads a whole result
// into memory before the first row, which for a corpus of long texts costs hundreds of
// megabytes. A SQLite string without Timeout= gets kDefaultSqliteTimeoutMilliseconds. Other
// strings are returned unchanged.
std::string driverConnectionString(const std::string& connectionString);

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_CONNECTION_STRING_H_
