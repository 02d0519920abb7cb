#include "vsm/token_reader.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace newsclass::vsm {
namespace {

bool isClassicSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

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

std::optional<std::string> readWholeFile(const std::string& path, std::string& bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return std::string("cannot open: ") + std::strerror(errno);
  bytes.clear();
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  if (!ec) bytes.reserve(static_cast<size_t>(size));
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  if (std::ferror(file.get())) return std::string("read failed: ") + std::strerror(errno);
  return std::nullopt;
}

bool TokenReader::next(std::string_view& token) {
  while (position_ < text_.size() && isClassicSpace(text_[position_])) ++position_;
  if (position_ == text_.size()) return false;
  size_t start = position_;
  while (position_ < text_.size() && !isClassicSpace(text_[position_])) ++position_;
  token = text_.substr(start, position_ - start);
  return true;
}

std::optional<int32_t> parseIntToken(std::string_view token) {
  return parseWholeInteger<int32_t>(token);
}

std::optional<uint64_t> parseCountToken(std::string_view token) {
  return parseWholeInteger<uint64_t>(token);
}

std::optional<double> parseDoubleToken(std::string_view token) {
  token = withoutPlus(token);
  if (token.empty()) return std::nullopt;
  double value = 0;
  auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond double's range (1e-400, 1e400): keep the value strtod rounds it to rather than
    // rejecting a file that only holds a tiny weight.
    std::string copy(token);
    char* stop = nullptr;
    value = std::strtod(copy.c_str(), &stop);
    if (stop != copy.c_str() + copy.size()) return std::nullopt;
    return value;
  }
  if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return value;
}

}  // namespace newsclass::vsm
