// contingency.dat: one line per cell, "word category withWord withoutWord", in table order.
// The loader reads white-space-separated tokens, so any line-end style loads the same. A record
// cut short, a count that is not a decimal int32 or a negative count is refused with an error
// naming the line; nothing is loaded then.
#include "contingency/contingency_file.h"

#include <charconv>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "base/atomic_file.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/stage_clock.h"
#include "base/text_file_reader.h"

namespace newsclass {
namespace {

constexpr size_t kWriteChunk = 1 << 16;

void appendInt(std::string& out, int32_t value) {
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

}  // namespace

void saveContingencyTable(const ContingencyTable& table, const std::string& path) {
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

void loadContingencyTable(ContingencyTable& table, const std::string& path, Console& console) {
  static const std::string kTimingLabel = gbk("将contingencyTable加载到内存的时间为");
  static const char* const kFieldNames[] = {"word", "category", "withWord", "withoutWord"};
  const StageClock clock;
  const std::string bytes = readTextFile(path);
  TokenScanner scanner(bytes);
  ContingencyTable loaded;
  std::string_view fields[4];
  while (scanner.next(fields[0])) {
    const size_t recordLine = scanner.line();
    int32_t counts[2] = {0, 0};
    for (int i = 1; i < 4; ++i) {
      if (!scanner.next(fields[i])) {
        // Cut off by the end of the file: name the line the record starts on.
        throw lineError(path, recordLine,
                        "record ends after " + std::to_string(i) + " of 4 fields");
      }
      if (i < 2) continue;
      const std::optional<int32_t> count = parseInt32Token(fields[i]);
      if (!count) {
        throw lineError(path, scanner.line(),
                        std::string(kFieldNames[i]) + " \"" + gbkToUtf8(fields[i]) +
                            "\" is not a decimal integer");
      }
      if (*count < 0) {
        // A negative number of articles cannot be counted: scores computed from it would be
        // garbage.
        throw lineError(
            path, scanner.line(),
            std::string(kFieldNames[i]) + " " + std::to_string(*count) + " is negative");
      }
      counts[i - 2] = *count;
    }
    // Records usually come in table order, so each lands right before the end.
    loaded.insert_or_assign(loaded.end(),
                            ContingencyKey(std::string(fields[0]), std::string(fields[1])),
                            ContingencyCell{counts[0], counts[1]});
  }
  mergeLoaded(table, std::move(loaded));
  console.timingLine(kTimingLabel, clock.elapsedSeconds());
}

}  // namespace newsclass
