// Reading the vector-space files as the formatted stream extraction sees them: a whole file in
// memory, then white-space-separated tokens, without the cost of a stream per token. Only the
// classic "C" white space separates (space, tab, line feed, carriage return, vertical tab, form
// feed), so GBK bytes never split a token.
#ifndef NEWSCLASS_VSM_TOKEN_READER_H_
#define NEWSCLASS_VSM_TOKEN_READER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace newsclass::vsm {

// Reads the whole file into `bytes`. Returns an empty optional on success, otherwise the reason
// ("cannot open: No such file or directory", "read failed: Is a directory").
std::optional<std::string> readWholeFile(const std::string& path, std::string& bytes);

class TokenReader {
 public:
  explicit TokenReader(std::string_view text) : text_(text) {}

  // The next token, or false at the end of the text.
  bool next(std::string_view& token);

 private:
  std::string_view text_;
  size_t position_ = 0;
};

// Whole-token number parses in the forms a formatted extraction accepts: an optional sign
// (also "+"), decimal digits; for doubles also fraction and exponent of any number of digits
// (1e-06, 1e-006), "inf" and "nan". A double beyond the range of double comes back as the
// nearest value strtod gives (0, a subnormal or infinity). Empty optional when the token is not
// such a number as a whole.
std::optional<int32_t> parseIntToken(std::string_view token);
std::optional<uint64_t> parseCountToken(std::string_view token);
std::optional<double> parseDoubleToken(std::string_view token);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_TOKEN_READER_H_
