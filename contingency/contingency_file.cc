// contingency.dat: one line per cell, "word category withWord withoutWord", in table order.
// The loader reads white-space-separated tokens, so any line-end style loads the same. A count
// that is not a number ends the load with a warning; a negative count is refused with an error.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "driver/atomic_file.h"
#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/errors.h"
#include "driver/stage_clock.h"

namespace newsclass {
namespace {

constexpr size_t kWriteChunk = 1 << 16;

void appendInt(std::string& out, int32_t value) {
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

// Reads a whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return false;
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!error) bytes.reserve(static_cast<size_t>(size));
  char chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
  return std::ferror(file.get()) == 0;
}

bool isAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// White-space-separated tokens of a text, with the line each one starts on.
class TokenReader {
 public:
  explicit TokenReader(std::string_view text) : text_(text) {}

  // The next token; empty at the end of the text.
  std::string_view next() {
    while (pos_ < text_.size() && isAsciiSpace(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && !isAsciiSpace(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // Line (from 1) of the token last returned, or of the end of the text.
  size_t line() const { return line_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t line_ = 1;
};

// A decimal int as a stream reads one (optional sign, digits), but the whole token must be it.
bool parseCount(std::string_view token, int32_t& value) {
  if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.remove_prefix(1);
  auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
  return ec == std::errc() && end == token.data() + token.size();
}

}  // namespace

void CorpusProcessor::saveContingencyTable(const ContingencyTable& table, const std::string& path) {
  writeFileAtomically(path, [&table](std::ostream& out) {
    std::string buffer;
    buffer.reserve(kWriteChunk + 256);
    for (const auto& [key, cell] : table) {
      buffer += key.first;
      buffer += ' ';
      buffer += key.second;
      buffer += ' ';
      appendInt(buffer, cell.withWord);
      buffer += ' ';
      appendInt(buffer, cell.withoutWord);
      buffer += '\n';
      if (buffer.size() >= kWriteChunk) {
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        buffer.clear();
      }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  });
}

void CorpusProcessor::loadContingencyTable(ContingencyTable& table, const std::string& path) {
  static const std::string kTimingLabel = gbk("将contingencyTable加载到内存的时间为");
  const StageClock clock;
  std::ostream& warnings = *environment().warnings;
  std::string bytes;
  if (!readWholeFile(path, bytes)) {
    warnings << path << ": cannot open for reading; no cells loaded\n";
  } else {
    static const char* const kFieldNames[] = {"word", "category", "withWord", "withoutWord"};
    TokenReader reader(bytes);
    size_t records = 0;
    // Records usually come in table order, so the position after the last stored cell is the
    // right hint for the next one.
    auto hint = table.end();
    for (;;) {
      std::string_view fields[4];
      fields[0] = reader.next();
      if (fields[0].empty()) break;
      const size_t recordLine = reader.line();
      int32_t counts[2] = {0, 0};
      std::string fault;
      size_t faultLine = recordLine;
      for (int i = 1; i < 4 && fault.empty(); ++i) {
        fields[i] = reader.next();
        if (fields[i].empty()) {
          // Cut off by the end of the file: name the line the record starts on.
          fault = "record ends after " + std::to_string(i) + " of 4 fields";
        } else if (i >= 2 && !parseCount(fields[i], counts[i - 2])) {
          fault = std::string(kFieldNames[i]) + " \"" + gbkToUtf8(fields[i]) +
                  "\" is not a decimal integer";
          faultLine = reader.line();
        } else if (i >= 2 && counts[i - 2] < 0) {
          // A negative number of articles cannot be counted: scores computed from it would be
          // garbage, so the file is refused rather than loaded in part.
          throw DataFileError(path + ": line " + std::to_string(reader.line()) + ": " +
                              kFieldNames[i] + " " + std::to_string(counts[i - 2]) +
                              " is negative");
        }
      }
      if (!fault.empty()) {
        warnings << path << ": line " << faultLine << ": " << fault << "; loading stopped after "
                 << records << " records\n";
        break;
      }
      hint = table.insert_or_assign(hint,
                                    ContingencyKey(std::string(fields[0]), std::string(fields[1])),
                                    ContingencyCell{counts[0], counts[1]});
      ++hint;
      ++records;
    }
  }
  console().timingLine(kTimingLabel, clock.elapsedSeconds());
}

}  // namespace newsclass
