// The white-space-separated tokens of a file read piece by piece, for data files too large to
// hold whole next to what they load into (the vector files run to hundreds of megabytes). Splits
// as TokenScanner does and fails with readTextFile's messages; it only ever holds one buffer of
// the file, grown past its size only for a token longer than the buffer.
#ifndef NEWSCLASS_DRIVER_TOKEN_STREAM_H_
#define NEWSCLASS_DRIVER_TOKEN_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

class FileTokenStream {
 public:
  // Every token returned is followed by at least this many readable bytes (the bytes after it in
  // the file, or zeros), so that a parser may load a token's bytes in whole words.
  static constexpr size_t kPadding = 16;

  // Opens `path`. Throws DataFileError "<path>: cannot open for reading: <reason>".
  explicit FileTokenStream(const std::string& path, size_t bufferSize = size_t{1} << 20);
  ~FileTokenStream();
  FileTokenStream(const FileTokenStream&) = delete;
  FileTokenStream& operator=(const FileTokenStream&) = delete;

  // The next token, or false at the end of the file. The token stays valid until the next call.
  // Throws DataFileError "<path>: cannot read: <reason>" when reading fails.
  bool next(std::string_view& token) {
    for (;;) {
      while (p_ < end_ && isSpace(*p_)) ++p_;
      if (p_ < end_) {
        const char* start = p_;
        while (p_ < end_ && !isSpace(*p_)) ++p_;
        if (p_ < end_ || atEnd_) {
          token = std::string_view(start, static_cast<size_t>(p_ - start));
          return true;
        }
        p_ = start;  // the token may go on in the next piece
      } else if (atEnd_) {
        return false;
      }
      refill();
    }
  }

  // Bytes of the file not returned yet as far as its size at opening tells (0 when unknown), to
  // bound what a count read from the file may reserve.
  uint64_t remaining() const;

 private:
  static bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  size_t capacity() const { return buffer_.size() - kPadding; }
  // Keeps the bytes from p_ on, moved to the front, and reads more after them.
  void refill();

  std::string path_;
  int fd_ = -1;
  std::vector<char> buffer_;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  bool atEnd_ = false;
  uint64_t fileSize_ = 0;
  uint64_t consumedBeforeBuffer_ = 0;  // file offset of buffer_[0]
};

}  // namespace newsclass

#endif  // NEWSCLASS_DRIVER_TOKEN_STREAM_H_
