// The failures that travel up to `main`: a bad command line (exit 1) and a data file that cannot
// be read or written (exit 2). The database fault has its own type in corpusdb/. Library code
// throws these; only `main` catches them and prints one line to standard error.
#ifndef NEWSCLASS_DRIVER_ERRORS_H_
#define NEWSCLASS_DRIVER_ERRORS_H_

#include <stdexcept>
#include <string>

namespace newsclass {

// A request the user can correct: a bad option value, a table name that is not an identifier.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A data file that is missing, unreadable, malformed or cannot be written; the message names the
// file and, where it helps, the record or line at fault.
class DataFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace newsclass

#endif  // NEWSCLASS_DRIVER_ERRORS_H_
