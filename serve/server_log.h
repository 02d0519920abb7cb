// The server's log on standard error: its own lines ("newsclass serve: ...") and one access line
// per request, each written whole, so that lines of different threads never mix.
#ifndef NEWSCLASS_SERVE_SERVER_LOG_H_
#define NEWSCLASS_SERVE_SERVER_LOG_H_

#include <mutex>
#include <ostream>
#include <string>

namespace newsclass {

class ServerLog {
 public:
  explicit ServerLog(std::ostream& out) : out_(out) {}

  // "newsclass serve: <text>".
  void note(const std::string& text) { line("newsclass serve: " + text); }
  // A line as it is (the access lines).
  void line(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    out_ << text << '\n';
    out_.flush();
  }

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_SERVER_LOG_H_
