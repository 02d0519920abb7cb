#include "driver/provenance.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "driver/atomic_file.h"
#include "driver/errors.h"
#include "driver/text_file_reader.h"
#include "driver/text_utils.h"

namespace newsclass {
namespace {

ProvenanceStage stageOfKey(const std::string& key) {
  if (key == "categories") return ProvenanceStage::kContingency;
  if (key == "measure" || key == "count") return ProvenanceStage::kFeatures;
  if (key == "weighting" || key == "test_range") return ProvenanceStage::kVectors;
  if (key == "classifier" || key == "k" || key == "vote" || key == "c") {
    return ProvenanceStage::kClassifier;
  }
  return ProvenanceStage::kDictionary;  // table, train_range, tokenizer and anything unknown
}

std::string quoted(const std::string& text) { return gbkJsonString(text); }

class Parser {
 public:
  Parser(const std::string& text, const std::string& path) : text_(text), path_(path) {}

  Provenance object() {
    Provenance facts;
    expect('{');
    skipSpace();
    if (peek() == '}') {
      ++at_;
    } else {
      while (true) {
        std::string key = string();
        expect(':');
        facts[key] = string();
        skipSpace();
        if (peek() == ',') {
          ++at_;
          continue;
        }
        expect('}');
        break;
      }
    }
    skipSpace();
    if (at_ != text_.size()) fail("text after the object");
    return facts;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw DataFileError(path_ + ": byte " + std::to_string(at_ + 1) + ": " + what +
                        " (not a model description; build the folder's files again)");
  }
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  void skipSpace() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\t' ||
                                  text_[at_] == '\r')) {
      ++at_;
    }
  }
  void expect(char c) {
    skipSpace();
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++at_;
  }
  std::string string() {
    expect('"');
    std::string value;
    while (true) {
      if (at_ >= text_.size()) fail("a string is not closed");
      const unsigned char c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        ++at_;
        return value;
      }
      if (c >= 0x81 && c <= 0xFE && at_ + 1 < text_.size()) {
        value += text_.substr(at_, 2);
        at_ += 2;
      } else if (c == '\\') {
        const char next = at_ + 1 < text_.size() ? text_[at_ + 1] : '\0';
        if (next == '"' || next == '\\') {
          value += next;
          at_ += 2;
        } else if (next == 'u' && at_ + 6 <= text_.size()) {
          value += static_cast<char>(std::stoi(text_.substr(at_ + 2, 4), nullptr, 16));
          at_ += 6;
        } else {
          fail("an unknown escape");
        }
      } else {
        value += static_cast<char>(c);
        ++at_;
      }
    }
  }

  const std::string& text_;
  const std::string& path_;
  size_t at_ = 0;
};

}  // namespace

std::string formatProvenance(const Provenance& facts) {
  std::string text = "{";
  bool first = true;
  for (const auto& [key, value] : facts) {
    text += (first ? "\n  " : ",\n  ") + quoted(key) + ": " + quoted(value);
    first = false;
  }
  return text + "\n}\n";
}

Provenance parseProvenance(const std::string& text, const std::string& path) {
  return Parser(text, path).object();
}

Provenance readProvenance(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return {};
  std::string bytes;
  if (tryReadTextFile(path, bytes)) throw fileError(path, "cannot read the model description");
  return parseProvenance(bytes, path);
}

std::vector<std::string> recordedCategories(const Provenance& facts) {
  std::vector<std::string> categories;
  auto found = facts.find("categories");
  if (found == facts.end()) return categories;
  const std::string& listed = found->second;
  for (size_t start = 0; start <= listed.size();) {
    const size_t comma = std::min(listed.find(',', start), listed.size());
    if (comma > start) categories.push_back(listed.substr(start, comma - start));
    start = comma + 1;
  }
  return categories;
}

void recordProvenance(const std::string& path, ProvenanceStage stage, const Provenance& facts) {
  Provenance kept;
  for (auto& [key, value] : readProvenance(path)) {
    if (stageOfKey(key) < stage) kept.emplace(key, value);
  }
  for (const auto& [key, value] : facts) kept[key] = value;
  writeFileAtomically(path, [&](std::ostream& out) { out << formatProvenance(kept); });
}

}  // namespace newsclass
