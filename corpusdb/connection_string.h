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
// "SQLite"), else nullopt; nullopt too for an in-memory database.
std::optional<std::string> sqliteDatabaseFile(const std::string& connectionString);

// The string handed to the driver. For the SQLite driver, rows are stepped through one at a time
// (StepAPI=1) unless the string says otherwise: by default that driver reads a whole result
// into memory before the first row, which for a corpus of long texts costs hundreds of
// megabytes. Other strings are returned unchanged.
std::string driverConnectionString(const std::string& connectionString);

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_CONNECTION_STRING_H_
