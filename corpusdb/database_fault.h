// The database fault: raised by every failing ODBC call and by reads the data cannot answer (a
// NULL value, a read past the last row). It carries the ODBC call, the operation (stage) it
// happened in, the SQLSTATE, the native error code and the driver's message. No stage catches
// it; `main` prints what() and exits with 2. The message is kept to one line: drivers that
// answer with several lines (PostgreSQL's "ERROR: ...", "DETAIL: ...") have them joined.
#ifndef NEWSCLASS_CORPUSDB_DATABASE_FAULT_H_
#define NEWSCLASS_CORPUSDB_DATABASE_FAULT_H_

#include <stdexcept>
#include <string>
#include <string_view>

namespace newsclass {

class DatabaseFault : public std::runtime_error {
 public:
  // what() is "database error in <operation>: [<sqlState>] <message>", on one line: the
  // message's lines are trimmed, empty ones dropped and the rest joined with "; " (a line that
  // already ends in ";" is followed by a space only).
  DatabaseFault(std::string call, std::string operation, std::string sqlState, int nativeCode,
                std::string message)
      : DatabaseFault(std::move(call), std::move(operation), std::move(sqlState), nativeCode,
                      oneLine(message), 0) {}

  const std::string& call() const { return call_; }
  const std::string& operation() const { return operation_; }
  const std::string& sqlState() const { return sqlState_; }
  int nativeCode() const { return nativeCode_; }
  // The driver's message, joined to one line.
  const std::string& message() const { return message_; }

  // A message's lines joined as described above.
  static std::string oneLine(std::string_view message) {
    std::string joined;
    size_t start = 0;
    while (start <= message.size()) {
      size_t end = message.find_first_of("\r\n", start);
      if (end == std::string_view::npos) end = message.size();
      std::string_view line = message.substr(start, end - start);
      const size_t first = line.find_first_not_of(" \t");
      if (first != std::string_view::npos) {
        line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
        if (!joined.empty()) joined += joined.back() == ';' ? " " : "; ";
        joined += line;
      }
      start = end + 1;
    }
    return joined;
  }

 private:
  DatabaseFault(std::string call, std::string operation, std::string sqlState, int nativeCode,
                std::string message, int)
      : std::runtime_error("database error in " + operation + ": [" + sqlState + "] " + message),
        call_(std::move(call)),
        operation_(std::move(operation)),
        sqlState_(std::move(sqlState)),
        nativeCode_(nativeCode),
        message_(std::move(message)) {}

 private:
  std::string call_;
  std::string operation_;
  std::string sqlState_;
  int nativeCode_;
  std::string message_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_DATABASE_FAULT_H_
