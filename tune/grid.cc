#include "tune/grid.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>

#include "base/errors.h"
#include "features/measure_selection.h"
#include "models/model_factory.h"
#include "segmentation/term_kinds.h"

namespace newsclass {
namespace {

constexpr size_t kMostSettings = 10000;

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(separator, start);
    parts.push_back(trimmed(text.substr(start, at == std::string::npos ? std::string::npos : at - start)));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool isOneOf(const std::string& value, const std::vector<std::string>& choices) {
  return std::find(choices.begin(), choices.end(), value) != choices.end();
}

std::string listed(const std::vector<std::string>& choices) {
  std::string text;
  for (size_t i = 0; i < choices.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
  }
  return text;
}

bool decimalWhere(const std::string& value, const std::function<bool(double)>& accepts) {
  double number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  return error == std::errc() && end == value.data() + value.size() && std::isfinite(number) &&
         accepts(number);
}

bool wholeFrom(const std::string& value, int64_t least) {
  int64_t number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  return error == std::errc() && end == value.data() + value.size() && number >= least &&
         number <= INT32_MAX;
}

struct KeyCheck {
  std::function<bool(const std::string&)> valid;
  std::string expected;
};

// Each key's values, checked as the option of the same name checks them.
const std::map<std::string, KeyCheck>& keyChecks() {
  static const std::map<std::string, KeyCheck> kChecks = {
      {"classifier",
       {[](const std::string& v) { return isOneOf(v, classifierNames()); },
        "expected " + listed(classifierNames())}},
      {"c", {[](const std::string& v) { return decimalWhere(v, [](double c) { return c > 0; }); },
             "expected a positive number"}},
      {"class_weight", {[](const std::string& v) { return isOneOf(v, {"none", "balanced"}); },
                        "expected none or balanced"}},
      {"knn_weight",
       {[](const std::string& v) { return decimalWhere(v, [](double w) { return w >= 0; }); },
        "expected 0 or a positive number"}},
      {"k", {[](const std::string& v) { return wholeFrom(v, 1); },
             "expected a whole number from 1 to 2147483647"}},
      {"vote", {[](const std::string& v) { return isOneOf(v, {"count", "similarity"}); },
                "expected count or similarity"}},
      {"weighting", {[](const std::string& v) { return isOneOf(v, {"spec", "tfidf"}); },
                     "expected spec or tfidf"}},
      {"terms", {[](const std::string& v) { return termKindsNamed(v).has_value(); },
                 "expected words, chars or words+chars"}},
      {"measure", {[](const std::string& v) { return isOneOf(v, featureMeasureNames()); },
                   "expected " + featureMeasureList()}},
      {"count", {[](const std::string& v) { return wholeFrom(v, 0); },
                 "expected a whole number from 0 to 2147483647"}},
  };
  return kChecks;
}

}  // namespace

const std::vector<std::string>& gridKeys() {
  static const std::vector<std::string> kKeys = {"classifier", "c",         "class_weight",
                                                 "knn_weight", "k",         "vote",
                                                 "weighting",  "terms",     "measure",
                                                 "count"};
  return kKeys;
}

std::vector<TuneSetting> parseGrid(const std::string& spec) {
  std::vector<std::pair<std::string, std::vector<std::string>>> axes;
  std::vector<std::string> parts = split(spec, ';');
  if (!parts.empty() && parts.back().empty() && parts.size() > 1) parts.pop_back();
  for (const std::string& part : parts) {
    const size_t equals = part.find('=');
    if (part.empty() && parts.size() == 1) break;
    if (equals == std::string::npos) {
      throw UsageError("--grid: \"" + part + "\" is not key=value[,value...]");
    }
    const std::string key = trimmed(part.substr(0, equals));
    const auto check = keyChecks().find(key);
    if (check == keyChecks().end()) {
      std::string keys;
      for (const std::string& known : gridKeys()) keys += (keys.empty() ? "" : ", ") + known;
      throw UsageError("--grid: unknown key \"" + key + "\"; the keys are " + keys);
    }
    for (const auto& axis : axes) {
      if (axis.first == key) throw UsageError("--grid: \"" + key + "\" is given twice");
    }
    std::vector<std::string> values = split(part.substr(equals + 1), ',');
    for (size_t i = 0; i < values.size(); ++i) {
      const std::string& value = values[i];
      if (value.empty()) throw UsageError("--grid: " + key + " has an empty value");
      if (!check->second.valid(value)) {
        throw UsageError("--grid: " + key + "=" + value + ": " + check->second.expected);
      }
      if (std::find(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(i), value) !=
          values.begin() + static_cast<std::ptrdiff_t>(i)) {
        throw UsageError("--grid: " + key + "=" + value + " is given twice");
      }
    }
    axes.emplace_back(key, std::move(values));
  }
  if (axes.empty()) throw UsageError("--grid: no setting (write key=value,value;key=value)");
  size_t total = 1;
  for (const auto& axis : axes) {
    total *= axis.second.size();
    if (total > kMostSettings) {
      throw UsageError("--grid: more than " + std::to_string(kMostSettings) + " settings");
    }
  }
  std::vector<TuneSetting> settings(1);
  for (const auto& [key, values] : axes) {
    std::vector<TuneSetting> grown;
    grown.reserve(settings.size() * values.size());
    for (const TuneSetting& setting : settings) {
      for (const std::string& value : values) {
        TuneSetting one = setting;
        one.emplace_back(key, value);
        grown.push_back(std::move(one));
      }
    }
    settings = std::move(grown);
  }
  return settings;
}

}  // namespace newsclass
