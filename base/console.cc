#include "base/console.h"

#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <string>

#include "base/encoding.h"
#include "base/text_utils.h"

namespace newsclass {

bool parseConsoleEncoding(std::string_view name, ConsoleEncoding& encoding) {
  if (equalsIgnoringCase(name, "auto")) {
    encoding = detectConsoleEncoding();
  } else if (equalsIgnoringCase(name, "gbk")) {
    encoding = ConsoleEncoding::kGbk;
  } else if (equalsIgnoringCase(name, "utf-8") || equalsIgnoringCase(name, "utf8")) {
    encoding = ConsoleEncoding::kUtf8;
  } else {
    return false;
  }
  return true;
}

ConsoleEncoding detectConsoleEncoding() {
  // The character set of the user's locale, as the environment (LC_ALL, LC_CTYPE, LANG) sets it.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = previous ? previous : "C";
  std::setlocale(LC_CTYPE, "");
  const std::string codeset = nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, saved.c_str());
  for (const char* name : {"GBK", "GB2312", "GB18030", "CP936", "EUC-CN"}) {
    if (equalsIgnoringCase(codeset, name)) return ConsoleEncoding::kGbk;
  }
  return ConsoleEncoding::kUtf8;
}

namespace {

bool isControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

// True when escapeControlBytes would change the text; the common case of plain text is one scan.
bool needsEscaping(std::string_view text, bool keepLineEnds) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!isControlByte(c) || c == '\t') continue;
    if (keepLineEnds && (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))) {
      continue;
    }
    return true;
  }
  return false;
}

}  // namespace

std::string escapeControlBytes(std::string_view text, bool keepLineEnds) {
  static const char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool lineEnd =
        keepLineEnds && (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n'));
    if (!isControlByte(c) || c == '\t' || lineEnd) {
      escaped.push_back(static_cast<char>(c));
    } else {
      escaped += "\\x";
      escaped.push_back(kHex[c >> 4]);
      escaped.push_back(kHex[c & 0xF]);
    }
  }
  return escaped;
}

FileDescriptorBuffer::FileDescriptorBuffer(int fd, size_t bufferSize)
    : fd_(fd), buffer_(bufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FileDescriptorBuffer::~FileDescriptorBuffer() { drain(); }

bool FileDescriptorBuffer::writeAll(const char* data, size_t size) {
  if (error_ != 0) return false;
  while (size > 0) {
    ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
    wrote(static_cast<size_t>(written));
  }
  return true;
}

bool FileDescriptorBuffer::drain() {
  const size_t pending = static_cast<size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return writeAll(buffer_.data(), pending);
}

FileDescriptorBuffer::int_type FileDescriptorBuffer::overflow(int_type c) {
  if (!drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize FileDescriptorBuffer::xsputn(const char* data, std::streamsize size) {
  const size_t count = static_cast<size_t>(size);
  if (count <= static_cast<size_t>(epptr() - pptr())) {
    std::copy(data, data + count, pptr());
    pbump(static_cast<int>(count));
    return size;
  }
  // Larger than the room left: send what is buffered, then the new bytes directly.
  if (!drain() || !writeAll(data, count)) return 0;
  return size;
}

int FileDescriptorBuffer::sync() { return drain() ? 0 : -1; }

void Console::write(std::string_view gbkText) {
  std::string converted;
  std::string_view text = gbkText;
  if (encoding_ == ConsoleEncoding::kUtf8) {
    converted = gbkToUtf8(gbkText);
    text = converted;
  }
  if (needsEscaping(text, true)) {
    converted = escapeControlBytes(text, true);
    text = converted;
  }
  out_->write(text.data(), static_cast<std::streamsize>(text.size()));
}

void Console::line(std::string_view gbkText) {
  write(gbkText);
  out_->put('\n');
}

void Console::timingLine(std::string_view gbkLabel, double seconds) {
  write(gbkLabel);
  std::string number = formatSeconds(seconds);
  number.push_back('\n');
  out_->write(number.data(), static_cast<std::streamsize>(number.size()));
}

namespace {
thread_local std::vector<std::string>* capturedDetails = nullptr;
}  // namespace

void Console::detail(std::string_view gbkText) {
  if (quiet_) return;
  if (capturedDetails != nullptr) {
    capturedDetails->emplace_back(gbkText);
    return;
  }
  line(gbkText);
}

DetailCapture::DetailCapture(std::vector<std::string>& lines) : previous_(capturedDetails) {
  capturedDetails = &lines;
}

DetailCapture::~DetailCapture() { capturedDetails = previous_; }

}  // namespace newsclass
