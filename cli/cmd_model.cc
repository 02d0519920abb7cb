#include "cli/cmd_model.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#include "base/errors.h"
#include "base/text_utils.h"
#include "cli/data_folder_files.h"
#include "corpusdb/queries.h"
#include "evaluation/evaluation_report.h"
#include "features/measure_selection.h"
#include "tune/grid.h"

namespace newsclass {
namespace {

// Each data file, in build order, and the command that writes it.
const std::vector<std::pair<std::string, std::string>>& dataFileStages() {
  static const std::vector<std::pair<std::string, std::string>> kStages = {
      {kDictionaryFile, "build-dictionary"},
      {kContingencyFile, "build-contingency"},
      {kKeywordsFile, "select-features"},
      {kTrainingVectorsFile, "build-vectors"},
      {kTestingVectorsFile, "build-vectors"},
      {kLinearModelFile, "classify --classifier linear"},
      {kPredictionsFile, "classify"}};
  return kStages;
}

const std::string* stageCommandOf(const std::string& name) {
  for (const auto& [file, command] : dataFileStages()) {
    if (file == name) return &command;
  }
  return nullptr;
}

// Canonical text of a whole number from `min` to `max`, as the stages write it: no sign, space
// or leading zero that the option would have rewritten.
bool isWholeNumber(const std::string& text, int64_t min, int64_t max) {
  int64_t number = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  return ec == std::errc() && end == text.data() + text.size() && number >= min &&
         number <= max && std::to_string(number) == text;
}

bool isIdRange(const std::string& text) {
  int32_t first = 0, last = 0;
  if (!parseIdRange(text, first, last)) return false;
  try {
    checkIdRange("range", text, first, last);
  } catch (const UsageError&) {
    return false;
  }
  return text == std::to_string(first) + "-" + std::to_string(last);
}

bool isPositiveDecimal(const std::string& text) {
  double number = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(number) &&
         number > 0 && shortestDecimal(number) == text;
}

bool isCategoryList(const std::string& text) {
  if (text.empty()) return false;
  for (size_t start = 0; start <= text.size();) {
    const size_t comma = std::min(text.find(',', start), text.size());
    const std::string name = text.substr(start, comma - start);
    if (name.empty() || name.find_first_of(" \t\n\v\f\r") != std::string::npos) return false;
    start = comma + 1;
  }
  return true;
}

bool isFileDigest(const std::string& text) {
  unsigned long long size = 0;
  long long modified = 0;
  char hash[17];
  int used = 0;
  return std::sscanf(text.c_str(), "%llu %lld %16[0-9a-f]%n", &size, &modified, hash, &used) == 3 &&
         static_cast<size_t>(used) == text.size() && std::string(hash).size() == 16 &&
         text.find_first_of("+-") == std::string::npos;
}

// "<digest> <absolute path>" or "absent <absolute path>".
bool isSourceDigest(const std::string& text) {
  if (text.rfind("absent /", 0) == 0) return true;
  // The digest is three fields; the path, which may hold spaces, follows.
  size_t at = 0;
  for (int field = 0; field < 3; ++field) {
    at = text.find(' ', at);
    if (at == std::string::npos) return false;
    ++at;
  }
  return isFileDigest(text.substr(0, at - 1)) && at < text.size() && text[at] == '/';
}

bool isOneOf(const std::string& text, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&](const char* name) { return text == name; });
}

// Whether `check` takes `value` without a UsageError: the command line's own checks, reused.
template <typename Check>
bool acceptedBy(Check check, const std::string& value) {
  try {
    check(value);
    return true;
  } catch (const UsageError&) {
    return false;
  }
}

struct KeyCheck {
  std::function<bool(const std::string&)> valid;
  const char* expected;
};

const std::map<std::string, KeyCheck>& keyChecks() {
  static const std::map<std::string, KeyCheck> kChecks = {
      {"table",
       {[](const std::string& v) { return acceptedBy(checkTableName, v); },
        "a table name (letters, digits and \"_\", not starting with a digit)"}},
      {"train_range", {isIdRange, "a range A-B as --train-range takes it"}},
      {"test_range", {isIdRange, "a range A-B as --test-range takes it"}},
      {"tokenizer", {[](const std::string& v) { return isOneOf(v, {"segment", "space"}); },
                     "segment or space"}},
      {"terms", {[](const std::string& v) { return isOneOf(v, {"chars", "words+chars"}); },
                 "chars or words+chars (words alone are recorded by no key)"}},
      {"stopwords", {isSourceDigest, "\"<size> <mtime> <xxh3> <absolute path>\""}},
      {"user_dict", {isSourceDigest, "\"<size> <mtime> <xxh3> <absolute path>\""}},
      {"lexicon", {isSourceDigest, "\"<size> <mtime> <xxh3> <absolute path>\""}},
      {"categories", {isCategoryList, "comma-separated category names without white space"}},
      {"measure",
       {[](const std::string& v) {
          const auto& names = featureMeasureNames();
          return std::find(names.begin(), names.end(), v) != names.end();
        },
        "a feature measure name"}},
      {"count", {[](const std::string& v) { return isWholeNumber(v, 0, INT32_MAX); },
                 "a whole number from 0 to 2147483647"}},
      {"weighting", {[](const std::string& v) { return isOneOf(v, {"spec", "tfidf"}); },
                     "spec or tfidf"}},
      {"vector_format", {[](const std::string& v) { return v == "binary"; },
                         "binary (text is recorded by no key)"}},
      {"classifier",
       {[](const std::string& v) { return isOneOf(v, {"knn", "linear", "logistic"}); },
        "knn, linear or logistic"}},
      {"class_weight", {[](const std::string& v) { return v == "balanced"; },
                        "balanced (none is recorded by no key)"}},
      {"k", {[](const std::string& v) { return isWholeNumber(v, 1, INT32_MAX); },
             "a whole number from 1 to 2147483647"}},
      {"vote", {[](const std::string& v) { return isOneOf(v, {"count", "similarity"}); },
                "count or similarity"}},
      {"c", {isPositiveDecimal, "a positive decimal number"}},
      {"knn_weight", {isPositiveDecimal, "a positive decimal number"}},
      {"tune_grid",
       {[](const std::string& v) { return acceptedBy(parseGrid, v); },
        "a grid as tune --grid takes it"}},
      {"tune_folds", {[](const std::string& v) { return isWholeNumber(v, 2, 100); },
                      "a whole number from 2 to 100"}},
      {"tune_seed", {[](const std::string& v) {
                       uint64_t seed = 0;
                       auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), seed);
                       return !v.empty() && error == std::errc() && end == v.data() + v.size();
                     },
                     "a whole number from 0 to 18446744073709551615"}},
      {"tune_metric", {[](const std::string& v) { return isOneOf(v, {"macro-f1", "accuracy"}); },
                       "macro-f1 or accuracy"}},
      {"tune_scores",
       {[](const std::string& v) {
          static const std::regex kScores("[0-9.e+-]+ [0-9.e+-]+ [^;]+(; [0-9.e+-]+ [0-9.e+-]+ [^;]+)*");
          return std::regex_match(v, kScores);
        },
        "\"<mean> <std> <setting>\" joined by \"; \""}},
      {"imported",
       {[](const std::string& v) {
          static const std::regex kTime("[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z");
          return std::regex_match(v, kTime);
        },
        "a time YYYY-MM-DDTHH:MM:SSZ"}},
  };
  return kChecks;
}

DataFileError badFacts(const std::string& path, const std::string& what) {
  return DataFileError(path + ": " + what + " (build the folder's files again)");
}

void checkFacts(const Provenance& facts, const std::string& path) {
  for (const auto& [key, value] : facts) {
    if (key.rfind(kFileKeyPrefix, 0) == 0) {
      const std::string name = key.substr(kFileKeyPrefix.size());
      if (stageCommandOf(name) == nullptr) {
        throw badFacts(path, gbkJsonString(key) + " names no file of a data folder");
      }
      if (!isFileDigest(value)) {
        throw badFacts(path, gbkJsonString(key) + " is " + gbkJsonString(value) +
                                 ", expected \"<size> <mtime> <xxh3>\"");
      }
      continue;
    }
    auto check = keyChecks().find(key);
    if (check == keyChecks().end()) throw badFacts(path, gbkJsonString(key) + ": unknown key");
    if (!check->second.valid(value)) {
      throw badFacts(path, gbkJsonString(key) + " is " + gbkJsonString(value) + ", expected " +
                               check->second.expected);
    }
  }
  // The classifier's own facts come with it: K and the vote for knn, C (and perhaps the class
  // weights) for linear and logistic.
  auto classifier = facts.find("classifier");
  const std::string name = classifier == facts.end() ? "" : classifier->second;
  const bool linear = name == "linear" || name == "logistic";
  const bool blended = name == "linear" && facts.count("knn_weight") != 0;
  struct Belonging {
    const char* key;
    bool wanted;    // the classifier may record it
    bool required;  // the classifier must record it
  };
  const Belonging keys[] = {
      {"k", name == "knn" || blended, name == "knn" || blended},
      {"vote", name == "knn", name == "knn"},
      {"c", linear, linear},
      {"class_weight", linear, false},
      {"knn_weight", name == "linear", false},
  };
  // tune --apply records all of its keys, with the classifier it picked, or none.
  const size_t tuneKeys = std::count_if(facts.begin(), facts.end(), [](const auto& fact) {
    return fact.first.rfind(kTuneKeyPrefix, 0) == 0;
  });
  if (tuneKeys != 0 && (tuneKeys != 5 || name.empty())) {
    throw badFacts(path, name.empty() ? "tune's keys are recorded for no classifier"
                                      : "tune's keys are recorded without all five of tune_grid, "
                                        "tune_folds, tune_seed, tune_metric and tune_scores");
  }
  for (const auto& [key, wanted, required] : keys) {
    const bool present = facts.count(key) != 0;
    if (required && !present) {
      throw badFacts(path, "the " + name + " classifier is recorded without \"" + key + "\"");
    }
    if (!wanted && present) {
      throw badFacts(path, std::string("\"") + key + "\" is recorded for " +
                               (name.empty() ? "no classifier" : "the " + name + " classifier"));
    }
  }
}

// Names the stage that rebuilds the file, or every stage when not even the dictionary is
// recorded (after an import).
[[noreturn]] void stale(const RunContext& context, const Provenance& facts,
                        const std::string& name, const char* why) {
  const std::string rerun = facts.count(fileKey(kDictionaryFile)) == 0
                                ? "pipeline (or every stage from build-dictionary on)"
                                : *stageCommandOf(name);
  throw DataFileError(context.dataPath(name) + ": stale: " + why + " (model.json); run " + rerun);
}

// The absolute path a source digest ends with.
std::string sourcePath(const std::string& recorded) {
  if (recorded.rfind("absent ", 0) == 0) return recorded.substr(7);
  size_t at = 0;
  for (int field = 0; field < 3; ++field) at = recorded.find(' ', at) + 1;
  return recorded.substr(at);
}

}  // namespace

ModelFiles dataFolderModelFiles(const RunContext& context) {
  return {context.dataPath(kDictionaryFile), context.dataPath(kKeywordsFile),
          context.dataPath(kTrainingVectorsFile), context.dataPath(kTestingVectorsFile),
          context.dataPath(kLinearModelFile)};
}

bool hasModelFacts(const RunContext& context) {
  std::error_code error;
  return std::filesystem::exists(context.dataPath(kModelFactsFile), error);
}

Provenance readCheckedFacts(const std::string& path) {
  Provenance facts = readProvenance(path);
  checkFacts(facts, path);
  return facts;
}

Provenance readModelFacts(const RunContext& context) {
  return readCheckedFacts(context.dataPath(kModelFactsFile));
}

void requireCurrentFiles(const RunContext& context, const std::vector<std::string>& fileNames) {
  std::vector<std::string> paths;
  for (const std::string& name : fileNames) paths.push_back(context.dataPath(name));
  context.requireReadableFiles(paths);
  if (!hasModelFacts(context)) return;
  const Provenance facts = readModelFacts(context);
  ProvenanceStage last = ProvenanceStage::kDictionary;
  for (const std::string& name : fileNames) last = std::max(last, stageOfKey(fileKey(name)));
  // In build order, so that the message names the file to rebuild first.
  for (const auto& [name, command] : dataFileStages()) {
    const ProvenanceStage stage = stageOfKey(fileKey(name));
    const bool read = std::find(fileNames.begin(), fileNames.end(), name) != fileNames.end();
    auto recorded = facts.find(fileKey(name));
    if (!read && (stage > last || recorded == facts.end())) continue;
    if (recorded == facts.end()) {
      // A file nothing recorded is stale once the corpus or a file it was built from has been
      // rebuilt since; in a folder whose stages did not record files (made by hand, or by an
      // older newsclass) it is taken as it is.
      bool rebuiltSince = facts.count("imported") != 0;
      for (const auto& [key, value] : facts) {
        if (key.rfind(kFileKeyPrefix, 0) == 0 && stageOfKey(key) < stage) rebuiltSince = true;
      }
      if (!rebuiltSince) continue;
      stale(context, facts, name, "not built from the folder's current files");
    }
    std::error_code error;
    // A file of an earlier stage that was removed after its successors were built from it
    // leaves them current.
    if (!read && !std::filesystem::exists(context.dataPath(name), error)) continue;
    if (!fileMatchesDigest(context.dataPath(name), recorded->second)) {
      stale(context, facts, name, "changed since it was recorded");
    }
  }
}

std::vector<std::string> dataFileNames(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    names.push_back(std::filesystem::path(path).filename().string());
  }
  return names;
}

void refuseMismatch(const std::string& option, const std::string& asked, const std::string& key,
                    const Provenance& facts, const std::string& factsPath) {
  auto found = facts.find(key);
  if (found == facts.end() || asked.empty() || asked == found->second) return;
  throw UsageError(option + ": the model in this data folder was built with " + option + " " +
                   found->second + " (" + factsPath + "), not " + asked);
}

void cutTextAsRecorded(RunContext& context, const Provenance& facts) {
  const GlobalOptions defaults;
  // Checked as model.json was read: absent (words) or a spelling of the kinds.
  auto terms = facts.find("terms");
  context.environment().terms = terms == facts.end()
                                    ? TermKinds::kWords
                                    : termKindsNamed(terms->second).value_or(TermKinds::kWords);
  struct Source {
    const char* key;
    const char* option;
    const char* what;
    const std::string& given;
    const std::string& fallback;
    std::string& used;
  };
  Environment& environment = context.environment();
  const Source sources[] = {
      {"stopwords", "--stopwords", "stop words", context.options().stopWords, defaults.stopWords,
       environment.stopWordsPath},
      {"user_dict", "--user-dict", "user dictionary", context.options().userDictionary,
       defaults.userDictionary, environment.userDictionaryPath},
      {"lexicon", "--lexicon", "lexicon", context.options().lexicon, defaults.lexicon,
       environment.lexiconPath},
  };
  for (const Source& source : sources) {
    auto found = facts.find(source.key);
    if (found == facts.end()) continue;
    const std::string& recorded = found->second;
    const std::string recordedPath = sourcePath(recorded);
    const bool absent = recorded.rfind("absent ", 0) == 0;
    const bool explicitly = source.given != source.fallback;
    const std::string path = explicitly ? source.given : recordedPath;
    std::error_code error;
    const bool exists = std::filesystem::exists(path, error);
    const bool same = absent ? !exists
                             : fileMatchesDigest(path, recorded.substr(0, recorded.size() -
                                                                           recordedPath.size() - 1));
    if (!same && explicitly) {
      throw UsageError(std::string(source.option) + ": the model in this data folder was built " +
                       "with " + (absent ? "no " + std::string(source.what) : recordedPath) +
                       ", not " + source.given);
    }
    if (!same && absent) {
      throw DataFileError(recordedPath + ": the data folder was built without it (model.json \"" +
                          source.key + "\"); remove it or build the folder again");
    }
    if (!same) {
      throw DataFileError(recordedPath + (exists ? ": changed since" : ": missing, but") +
                          " the data folder was built with it (model.json \"" + source.key +
                          "\"); restore it or rebuild the folder");
    }
    source.used = path;
  }
}

}  // namespace newsclass
