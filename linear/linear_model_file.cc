#include "linear/linear_model_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/text_file_reader.h"

namespace newsclass {
namespace {

// The bias is feature F + 1, an int index for liblinear.
constexpr int64_t kMaxFeatures = std::numeric_limits<int>::max() - 1;
// Far beyond any trained weight, far below where a decision value could overflow.
constexpr double kMaxMagnitude = 1e300;
const char* const kRetrain = " (run classify --classifier linear again)";

// Text from the file fit for a one-line message: at most 40 bytes, control bytes as '?'.
std::string excerpt(std::string_view text) {
  std::string shown(text.substr(0, 40));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return "\"" + shown + (text.size() > 40 ? "...\"" : "\"");
}

// The tokens of a line, separated by spaces or tabs (save_model ends every weight with a space).
std::vector<std::string_view> tokensOf(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    if (at > start) tokens.push_back(line.substr(start, at - start));
  }
  return tokens;
}

// The number the whole token spells, in std::from_chars' forms (no '+', no white space).
template <class T>
std::optional<T> wholeNumber(std::string_view token) {
  T value{};
  const char* end = token.data() + token.size();
  const auto [stop, error] = std::from_chars(token.data(), end, value);
  if (token.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// The lines of the file, each checked as it is taken.
class ModelLines {
 public:
  ModelLines(const std::string& path, std::string_view bytes) : path_(path), lines_(bytes) {}

  // The tokens of the next line, which must start with `key` and hold `count` tokens in all
  // (0: any number).
  std::vector<std::string_view> keyed(std::string_view key, size_t count) {
    std::string_view line;
    if (!lines_.next(line)) {
      if (number_ == 0) {
        throw errorAfterEnd("not a linear model (run classify --classifier linear to train it)");
      }
      throw errorAfterEnd("the " + std::string(key) + " line is missing (the file ends)");
    }
    ++number_;
    std::vector<std::string_view> tokens = tokensOf(line);
    if (tokens.empty() || tokens.front() != key || (count != 0 && tokens.size() != count)) {
      if (number_ == 1) {
        throw error("not a linear model (run classify --classifier linear to train it)");
      }
      throw error(excerpt(line) + " is not the " + std::string(key) + " line");
    }
    return tokens;
  }
  // The tokens of the next line; false at the end of the file.
  bool next(std::vector<std::string_view>& tokens, std::string_view& line) {
    if (!lines_.next(line)) return false;
    ++number_;
    tokens = tokensOf(line);
    return true;
  }
  // The error at the line last taken, or at the line after the last when the file ended.
  DataFileError error(const std::string& what) const { return lineError(path_, number_, what); }
  DataFileError errorAfterEnd(const std::string& what) const {
    return lineError(path_, number_ + 1, what);
  }

 private:
  const std::string& path_;
  LineScanner lines_;
  size_t number_ = 0;
};

// The solver line: the one solver classify trains the classifier with.
void checkSolver(ModelLines& lines, std::string_view expected) {
  const std::vector<std::string_view> solver = lines.keyed("solver_type", 0);
  if (solver.size() != 2 || solver[1] != expected) {
    throw lines.error("solver " + excerpt(solver.size() > 1 ? solver[1] : "") + " is not " +
                      std::string(expected) + ", the one classify trains with");
  }
}

// The nr_class line: as many classes as categories.
void checkClassCount(ModelLines& lines, size_t categoryCount) {
  const std::string_view classText = lines.keyed("nr_class", 2)[1];
  const std::optional<int> classes = wholeNumber<int>(classText);
  if (!classes) throw lines.error("nr_class " + excerpt(classText) + " is not a decimal number");
  if (*classes < 1 || static_cast<size_t>(*classes) != categoryCount) {
    throw lines.error("nr_class " + std::to_string(*classes) + " does not match the " +
                      std::to_string(categoryCount) + " categories" + kRetrain);
  }
}

// The label line: every category number once, in the machines' order.
std::vector<int> readLabels(ModelLines& lines, size_t categoryCount) {
  const std::vector<std::string_view> labels = lines.keyed("label", 0);
  if (labels.size() - 1 != categoryCount) {
    throw lines.error(std::to_string(labels.size() - 1) + " labels for nr_class " +
                      std::to_string(categoryCount));
  }
  std::vector<int> read;
  std::vector<bool> seen(categoryCount, false);
  for (size_t i = 1; i < labels.size(); ++i) {
    const std::optional<int> label = wholeNumber<int>(labels[i]);
    if (!label || *label < 0 || static_cast<size_t>(*label) >= categoryCount) {
      throw lines.error("label " + excerpt(labels[i]) + " is not a category number (0 to " +
                        std::to_string(categoryCount - 1) + ")");
    }
    if (seen[static_cast<size_t>(*label)]) {
      throw lines.error("label " + std::to_string(*label) + " is listed twice");
    }
    seen[static_cast<size_t>(*label)] = true;
    read.push_back(*label);
  }
  return read;
}

// The nr_feature line: a feature count liblinear can index with the bias after it.
int readFeatureCount(ModelLines& lines) {
  const std::string_view featureText = lines.keyed("nr_feature", 2)[1];
  const std::optional<int64_t> features = wholeNumber<int64_t>(featureText);
  if (!features) {
    throw lines.error("nr_feature " + excerpt(featureText) + " is not a decimal number");
  }
  if (*features < 1 || *features > kMaxFeatures) {
    throw lines.error("nr_feature " + std::to_string(*features) + " is not a feature count (1 to " +
                      std::to_string(kMaxFeatures) + ")");
  }
  return static_cast<int>(*features);
}

// The bias line: the bias classify trains with.
double readBias(ModelLines& lines) {
  const std::string_view biasText = lines.keyed("bias", 2)[1];
  const std::optional<double> bias = wholeNumber<double>(biasText);
  if (!bias || *bias != 1.0) {
    throw lines.error("bias " + excerpt(biasText) + " is not 1, the bias classify trains with");
  }
  return *bias;
}

// One row of weights, appended to `weights`; `magnitudes` adds up each column's.
void readWeightRow(ModelLines& lines, const std::vector<std::string_view>& tokens,
                   std::vector<double>& magnitudes, std::vector<double>& weights) {
  const size_t columns = magnitudes.size();
  if (tokens.size() != columns) {
    throw lines.error(std::to_string(tokens.size()) + " weights, expected " +
                      std::to_string(columns) + (columns == 1 ? " (two classes)" : " (one per class)"));
  }
  for (size_t c = 0; c < columns; ++c) {
    const std::optional<double> weight = wholeNumber<double>(tokens[c]);
    if (!weight) {
      throw lines.error("weight " + std::to_string(c + 1) + " " + excerpt(tokens[c]) +
                        " is not a number");
    }
    if (!std::isfinite(*weight)) {
      throw lines.error("weight " + std::to_string(c + 1) + " " + excerpt(tokens[c]) +
                        " is not a finite number");
    }
    magnitudes[c] += std::fabs(*weight);
    if (magnitudes[c] > kMaxMagnitude) {
      throw lines.error("weight " + std::to_string(c + 1) + " " + excerpt(tokens[c]) +
                        ": the weights of its column add up beyond 1e300");
    }
    weights.push_back(*weight);
  }
}

// The w line, then one row per feature and one for the bias, and nothing after them.
void readWeights(ModelLines& lines, size_t fileBytes, LinearModelFile& model) {
  lines.keyed("w", 1);
  // The reservation is bounded by what the rest of the file can hold, whatever nr_feature
  // promised.
  const size_t columns = model.columns();
  const uint64_t rows = static_cast<uint64_t>(model.featureCount) + 1;
  model.weights.reserve(static_cast<size_t>(std::min<uint64_t>(rows * columns, fileBytes / 2)));
  // A testing vector has unit length and the bias feature 1, so a decision value is at most a
  // machine's sum of weight magnitudes: bounded, no sum of products can overflow to infinity.
  std::vector<double> magnitudes(columns, 0.0);
  std::vector<std::string_view> tokens;
  std::string_view line;
  for (uint64_t row = 1; row <= rows; ++row) {
    if (!lines.next(tokens, line)) {
      throw lines.errorAfterEnd("weight row " + std::to_string(row) + " of " +
                                std::to_string(rows) + " is missing (the file ends)");
    }
    readWeightRow(lines, tokens, magnitudes, model.weights);
  }
  if (lines.next(tokens, line)) {
    throw lines.error("text after the " + std::to_string(rows) + " weight rows");
  }
}

}  // namespace

LinearModelFile parseLinearModelFile(const std::string& path, std::string_view bytes,
                                     size_t categoryCount, std::string_view solver) {
  ModelLines lines(path, bytes);
  LinearModelFile model;
  checkSolver(lines, solver);
  checkClassCount(lines, categoryCount);
  model.labels = readLabels(lines, categoryCount);
  model.featureCount = readFeatureCount(lines);
  model.bias = readBias(lines);
  readWeights(lines, bytes.size(), model);
  return model;
}

}  // namespace newsclass
