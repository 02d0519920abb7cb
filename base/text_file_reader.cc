#include "base/text_file_reader.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace newsclass {
namespace {

// A formatted extraction accepts a leading "+"; from_chars does not.
std::string_view withoutPlus(std::string_view token) {
  if (token.size() > 1 && token[0] == '+' && token[1] != '-' && token[1] != '+') {
    token.remove_prefix(1);
  }
  return token;
}

template <typename Integer>
std::optional<Integer> parseWholeInteger(std::string_view token) {
  token = withoutPlus(token);
  Integer value = 0;
  auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (token.empty() || ec != std::errc() || end != token.data() + token.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::string> tryReadTextFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return std::string("cannot open for reading: ") + std::strerror(errno);
  // One allocation for the whole file when its size is known (not for a pipe or a folder).
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size < (uintmax_t{1} << 40)) bytes.reserve(static_cast<size_t>(size));
  char chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
  if (std::ferror(file.get())) {
    const int cause = errno;
    bytes.clear();
    return std::string("cannot read: ") + std::strerror(cause);
  }
  return std::nullopt;
}

std::string readTextFile(const std::string& path) {
  std::string bytes;
  if (auto failure = tryReadTextFile(path, bytes)) throw fileError(path, *failure);
  return bytes;
}

DataFileError fileError(const std::string& path, std::string_view what) {
  std::string message = path;
  message += ": ";
  message += what;
  return DataFileError(message);
}

DataFileError lineError(const std::string& path, size_t line, std::string_view what) {
  return fileError(path, "line " + std::to_string(line) + ": " + std::string(what));
}

DataFileError recordError(const std::string& path, uint64_t record, std::string_view what) {
  return fileError(path, "record " + std::to_string(record) + ": " + std::string(what));
}

DataFileError recordError(const std::string& path, uint64_t record, std::string_view subject,
                          std::string_view what) {
  return fileError(path, "record " + std::to_string(record) + " (" + std::string(subject) +
                             "): " + std::string(what));
}

bool LineScanner::next(std::string_view& line) {
  if (position_ >= text_.size()) return false;
  // Two memchr scans (for LF, then for a CR before it) are far faster on long files than a byte
  // loop testing both.
  const char* begin = text_.data() + position_;
  const size_t left = text_.size() - position_;
  const void* lineFeed = std::memchr(begin, '\n', left);
  size_t end =
      lineFeed != nullptr ? static_cast<size_t>(static_cast<const char*>(lineFeed) - begin) : left;
  if (const void* carriageReturn = std::memchr(begin, '\r', end)) {
    end = static_cast<size_t>(static_cast<const char*>(carriageReturn) - begin);
  }
  end += position_;
  line = text_.substr(position_, end - position_);
  position_ = end + 1;
  if (end + 1 < text_.size() && text_[end] == '\r' && text_[end + 1] == '\n') ++position_;
  ++line_;
  return true;
}

std::optional<int32_t> parseInt32Token(std::string_view token) {
  return parseWholeInteger<int32_t>(token);
}

std::optional<uint64_t> parseUint64Token(std::string_view token) {
  return parseWholeInteger<uint64_t>(token);
}

std::optional<double> parseDoubleToken(std::string_view token) {
  token = withoutPlus(token);
  if (token.empty()) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond double's range (1e-400, 1e400): keep the value strtod rounds it to rather than
    // refusing a file that only holds a tiny weight.
    std::string copy(token);
    char* stop = nullptr;
    value = std::strtod(copy.c_str(), &stop);
    if (stop != copy.c_str() + copy.size()) return std::nullopt;
    return value;
  }
  if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return value;
}

}  // namespace newsclass
