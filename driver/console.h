// The one writer of stage messages. Stages hand it GBK text; it writes that text to its stream
// in the terminal's encoding. Per-article progress lines go through `detail`, which --quiet
// silences; everything else is always written.
#ifndef NEWSCLASS_DRIVER_CONSOLE_H_
#define NEWSCLASS_DRIVER_CONSOLE_H_

#include <ostream>
#include <string>
#include <string_view>

namespace newsclass {

enum class ConsoleEncoding { kGbk, kUtf8 };

// Parses "auto", "gbk" or "utf-8" ("utf8" too). "auto" looks at the locale's character set:
// GBK, GB2312 or GB18030 keep GBK bytes, anything else gets UTF-8. Returns false for other text.
bool parseConsoleEncoding(std::string_view name, ConsoleEncoding& encoding);
ConsoleEncoding detectConsoleEncoding();

class Console {
 public:
  Console(std::ostream& out, ConsoleEncoding encoding, bool quiet = false)
      : out_(&out), encoding_(encoding), quiet_(quiet) {}

  // Writes GBK text as it is, converted for the terminal.
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

}  // namespace newsclass

#endif  // NEWSCLASS_DRIVER_CONSOLE_H_
