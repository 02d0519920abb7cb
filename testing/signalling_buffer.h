// A stream buffer for tests of waiting: it keeps what is written to it and writes one byte 'W'
// into a pipe at the first write, so that another process (a lock holder) learns without timing
// that the waiting side has printed its line.
#ifndef NEWSCLASS_TESTING_SIGNALLING_BUFFER_H_
#define NEWSCLASS_TESTING_SIGNALLING_BUFFER_H_

#include <unistd.h>

#include <sstream>

namespace newsclass::testing {

class SignallingBuffer : public std::stringbuf {
 public:
  explicit SignallingBuffer(int fd) : fd_(fd) {}

 protected:
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    signal();
    return std::stringbuf::xsputn(text, size);
  }
  int_type overflow(int_type c) override {
    signal();
    return std::stringbuf::overflow(c);
  }

 private:
  void signal() {
    if (signalled_) return;
    signalled_ = true;
    char byte = 'W';
    [[maybe_unused]] ssize_t ignored = ::write(fd_, &byte, 1);
  }
  int fd_;
  bool signalled_ = false;
};

}  // namespace newsclass::testing

#endif  // NEWSCLASS_TESTING_SIGNALLING_BUFFER_H_
