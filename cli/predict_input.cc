#include "cli/predict_input.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_file_reader.h"

namespace newsclass {
namespace {

// The --tsv id of a line: the bytes before its first tab (none: not an id line).
std::optional<std::string_view> tsvId(std::string_view line) {
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return std::nullopt;
  return line.substr(0, tab);
}

}  // namespace

void IdRegister::add(const std::string& id, size_t input, const std::string& where,
                     uint64_t line) {
  if (id.empty()) throw DataFileError(where + ": line " + std::to_string(line) + ": empty id");
  const auto [found, fresh] = seen_.try_emplace(id, Place{input, line});
  if (fresh) return;
  const Place& first = found->second;
  throw DataFileError(where + ": line " + std::to_string(line) + ": id " + id + " repeats " +
                      (first.input == input ? "" : inputNames_.at(first.input) + " ") + "line " +
                      std::to_string(first.line));
}

void IdRegister::nameInput(size_t input, const std::string& where) {
  if (inputNames_.size() <= input) inputNames_.resize(input + 1);
  inputNames_[input] = where;
}

void checkTsvIds(std::string_view text, size_t input, const std::string& where, IdRegister& ids) {
  ids.nameInput(input, where);
  uint64_t number = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto id = tsvId(line)) {
      ids.add(std::string(*id), input, where, number);
    } else if (!line.empty()) {
      throw DataFileError(where + ": line " + std::to_string(number) +
                          ": expected an id, a tab and the text");
    }
    pos = end + 1;
  }
}

std::string readInputText(const std::string& file) {
  std::string bytes;
  if (const auto reason = tryReadTextFile(file, bytes)) {
    throw DataFileError(file + ": cannot read the input file (" + *reason + ")");
  }
  if (isValidUtf8(bytes)) return userTextToGbk(bytes);
  std::string text;
  text.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    const std::string_view line(bytes.data() + pos, end - pos);
    if (std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; })) {
      text += line;
    } else {
      text += userTextToGbk(line);
    }
    if (end < bytes.size()) text += '\n';
    pos = end + 1;
  }
  return text;
}

void requireInputFile(const std::string& file) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw DataFileError(file + ": no such input file");
  }
  if (status.type() == std::filesystem::file_type::directory) {
    throw DataFileError(file + ": is a folder, not an input file");
  }
  std::ifstream probe(file, std::ios::binary);
  if (!probe) throw DataFileError(file + ": cannot open the input file for reading");
}

}  // namespace newsclass
