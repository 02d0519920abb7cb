// Reading the text files newsclass loads: the data files it wrote (dict.dat, contingency.dat,
// keywords.dat, the vector files, predictions.dat) and the word lists it is given (lexicon, user
// dictionary, stop words). A loader reads its file whole, walks the bytes by white-space-separated
// tokens or by lines, each with its line number, parses numbers as whole tokens, and reports a bad
// record in one form: "<file>: record N: <what>" or "<file>: line N: <what>".
//
// White space is the classic "C" set (space, tab, LF, CR, VT, FF). None of these bytes is ever a
// GBK trail byte, so splitting GBK text at them never cuts a character.
#ifndef NEWSCLASS_BASE_TEXT_FILE_READER_H_
#define NEWSCLASS_BASE_TEXT_FILE_READER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/errors.h"

namespace newsclass {

// Reads the whole file at `path` into `bytes`, replacing what it held. Returns an empty optional
// on success, otherwise the reason: "cannot open for reading: No such file or directory",
// "cannot read: Is a directory". For optional inputs, whose absence is a warning.
std::optional<std::string> tryReadTextFile(const std::string& path, std::string& bytes);

// The whole file at `path`. Throws DataFileError "<path>: <reason>" (reasons as above).
std::string readTextFile(const std::string& path);

// The errors of a bad data file: "<path>: <what>", "<path>: line N: <what>",
// "<path>: record N: <what>" and, naming what the record is about,
// "<path>: record N (<subject>): <what>". Lines and records count from 1.
DataFileError fileError(const std::string& path, std::string_view what);
DataFileError lineError(const std::string& path, size_t line, std::string_view what);
DataFileError recordError(const std::string& path, uint64_t record, std::string_view what);
DataFileError recordError(const std::string& path, uint64_t record, std::string_view subject,
                          std::string_view what);

inline bool isAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The white-space-separated tokens of a text, in order, with the line each one starts on. A line
// ends at LF, CR LF or a lone CR.
class TokenScanner {
 public:
  explicit TokenScanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  // The next token, or false at the end of the text.
  bool next(std::string_view& token) {
    while (p_ < end_ && isAsciiSpace(*p_)) {
      if (*p_ == '\n' || (*p_ == '\r' && (p_ + 1 == end_ || p_[1] != '\n'))) ++line_;
      ++p_;
    }
    if (p_ == end_) return false;
    const char* start = p_;
    while (p_ < end_ && !isAsciiSpace(*p_)) ++p_;
    token = std::string_view(start, static_cast<size_t>(p_ - start));
    return true;
  }
  // The line of the token last returned; after next() returned false, the last line.
  size_t line() const { return line_; }
  // Bytes not read yet, to bound what a count read from the file may reserve.
  size_t remaining() const { return static_cast<size_t>(end_ - p_); }

 private:
  const char* p_;
  const char* end_;
  size_t line_ = 1;
};

// The lines of a text, without their line ends. A line ends at LF, CR LF or a lone CR; the last
// line needs no line end, and a text that ends with a line end has no empty line after it.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : text_(text) {}

  // The next line, or false at the end of the text.
  bool next(std::string_view& line);
  // The number (from 1) of the line last returned.
  size_t line() const { return line_; }

 private:
  std::string_view text_;
  size_t position_ = 0;
  size_t line_ = 0;
};

// Moves every entry of a freshly loaded map into `target`; an entry of a key `target` already has
// replaces it. Loaders read into a map of their own and call this only when the whole file was
// read, so that a refused file leaves `target` as it was.
template <typename Map>
void mergeLoaded(Map& target, Map&& loaded) {
  if (target.empty()) {
    target = std::move(loaded);
    return;
  }
  while (!loaded.empty()) {
    auto node = loaded.extract(loaded.begin());
    auto placed = target.insert(std::move(node));
    if (!placed.inserted) placed.position->second = std::move(placed.node.mapped());
  }
}

// Whole-token numbers in the forms a formatted stream extraction accepts: an optional sign (also
// "+"), decimal digits; for doubles also a fraction and an exponent of any number of digits
// (1e-06, 1e-006), "inf" and "nan". A double beyond the range of double comes back as the value
// strtod rounds it to (0, a subnormal or infinity). Empty optional when the token is not such a
// number as a whole or does not fit the type.
std::optional<int32_t> parseInt32Token(std::string_view token);
std::optional<uint64_t> parseUint64Token(std::string_view token);
std::optional<double> parseDoubleToken(std::string_view token);

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_TEXT_FILE_READER_H_
