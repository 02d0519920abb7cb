// The database fault: raised by every failing ODBC call and by reads the data cannot answer (a
// NULL value, a read past the last row). It carries the ODBC call, the operation (stage) it
// happened in, the SQLSTATE, the native error code and the driver's message. No stage catches
// it; `main` prints what() and exits with 2.
#ifndef NEWSCLASS_CORPUSDB_DATABASE_FAULT_H_
#define NEWSCLASS_CORPUSDB_DATABASE_FAULT_H_

#include <stdexcept>
#include <string>

namespace newsclass {

class DatabaseFault : public std::runtime_error {
 public:
  // what() is "database error in <operation>: [<sqlState>] <message>".
  DatabaseFault(std::string call, std::string operation, std::string sqlState, int nativeCode,
                std::string message)
      : std::runtime_error("database error in " + operation + ": [" + sqlState + "] " + message),
        call_(std::move(call)),
        operation_(std::move(operation)),
        sqlState_(std::move(sqlState)),
        nativeCode_(nativeCode),
        message_(std::move(message)) {}

  const std::string& call() const { return call_; }
  const std::string& operation() const { return operation_; }
  const std::string& sqlState() const { return sqlState_; }
  int nativeCode() const { return nativeCode_; }
  const std::string& message() const { return message_; }

 private:
  std::string call_;
  std::string operation_;
  std::string sqlState_;
  int nativeCode_;
  std::string message_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_DATABASE_FAULT_H_
