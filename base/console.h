// The one writer of stage messages. Stages hand it GBK text; it writes that text to its stream
// in the terminal's encoding. Per-article progress lines go through `detail`, which --quiet
// silences; everything else is always written. Control bytes that come from data (ESC, NUL, ...)
// are written escaped, so that a data file cannot drive the terminal.
#ifndef NEWSCLASS_BASE_CONSOLE_H_
#define NEWSCLASS_BASE_CONSOLE_H_

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

enum class ConsoleEncoding { kGbk, kUtf8 };

// Parses "auto", "gbk" or "utf-8" ("utf8" too). "auto" looks at the locale's character set:
// GBK, GB2312 or GB18030 keep GBK bytes, anything else gets UTF-8. Returns false for other text.
bool parseConsoleEncoding(std::string_view name, ConsoleEncoding& encoding);
ConsoleEncoding detectConsoleEncoding();

// Replaces every C0 control byte (0x00-0x1F) except tab, and DEL (0x7F), by "\x" and two lower-case
// hex digits, e.g. ESC becomes "\x1b". With `keepLineEnds`, "\n" and the "\r" of a "\r\n" pair
// stay as they are. Other bytes, GBK and UTF-8 text included, are copied unchanged: neither
// encoding uses these bytes inside a multi-byte character.
std::string escapeControlBytes(std::string_view text, bool keepLineEnds);

// A stream buffer that writes to a file descriptor (standard output in main) and remembers the
// errno of the first write that failed; from then on every write fails, so the stream that uses
// it turns bad and the failure can be reported once, with its reason.
class FileDescriptorBuffer : public std::streambuf {
 public:
  explicit FileDescriptorBuffer(int fd, size_t bufferSize = 1 << 16);
  ~FileDescriptorBuffer() override;
  FileDescriptorBuffer(const FileDescriptorBuffer&) = delete;
  FileDescriptorBuffer& operator=(const FileDescriptorBuffer&) = delete;

  // The errno of the first failed write, 0 while every write succeeded.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;
  // Called after each write the descriptor took, with its byte count.
  virtual void wrote(size_t bytes) { (void)bytes; }
  int fd() const { return fd_; }

 private:
  // Writes the buffered bytes; false (and error_ set) when the descriptor refused them.
  bool drain();
  bool writeAll(const char* data, size_t size);

  int fd_;
  int error_ = 0;
  std::vector<char> buffer_;
};

class Console {
 public:
  Console(std::ostream& out, ConsoleEncoding encoding, bool quiet = false)
      : out_(&out), encoding_(encoding), quiet_(quiet) {}

  // Writes GBK text converted for the terminal, control bytes escaped (line ends kept).
  void write(std::string_view gbkText);
  // Writes GBK text and a line end.
  void line(std::string_view gbkText);
  // A stage's timing line: the label, the seconds in the stream's default format, a line end.
  void timingLine(std::string_view gbkLabel, double seconds);
  // A per-article progress line; suppressed when quiet.
  void detail(std::string_view gbkText);
  void flush() { out_->flush(); }

  bool quiet() const { return quiet_; }
  ConsoleEncoding encoding() const { return encoding_; }
  std::ostream& stream() { return *out_; }

 private:
  std::ostream* out_;
  ConsoleEncoding encoding_;
  bool quiet_;
};

// While alive, the detail lines that this thread hands to any console are kept in `lines`
// instead of written. Work spread over threads captures its lines this way, and one thread
// writes them afterwards in the order a single thread would have written them.
class DetailCapture {
 public:
  explicit DetailCapture(std::vector<std::string>& lines);
  ~DetailCapture();
  DetailCapture(const DetailCapture&) = delete;
  DetailCapture& operator=(const DetailCapture&) = delete;

 private:
  std::vector<std::string>* previous_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_CONSOLE_H_
