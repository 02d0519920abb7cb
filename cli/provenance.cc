#include "cli/provenance.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>
#include <vector>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/text_file_reader.h"
#include "base/text_utils.h"
#include "cli/data_folder_files.h"

namespace newsclass {

ProvenanceStage stageOfKey(const std::string& key) {
  if (key.rfind(kFileKeyPrefix, 0) == 0) {
    const std::string name = key.substr(kFileKeyPrefix.size());
    if (name == kContingencyFile) return ProvenanceStage::kContingency;
    if (name == kKeywordsFile) return ProvenanceStage::kFeatures;
    if (name == kTrainingVectorsFile || name == kTestingVectorsFile) {
      return ProvenanceStage::kVectors;
    }
    if (name == kLinearModelFile || name == kPredictionsFile) return ProvenanceStage::kClassifier;
    return ProvenanceStage::kDictionary;
  }
  if (key == "imported") return ProvenanceStage::kCorpus;
  if (key == "categories") return ProvenanceStage::kContingency;
  if (key == "measure" || key == "count") return ProvenanceStage::kFeatures;
  if (key == "weighting" || key == "test_range" || key == "vector_format") {
    return ProvenanceStage::kVectors;
  }
  if (key == "classifier" || key == "k" || key == "vote" || key == "c" ||
      key == "class_weight" || key == "knn_weight" || key.rfind(kTuneKeyPrefix, 0) == 0) {
    return ProvenanceStage::kClassifier;
  }
  return ProvenanceStage::kDictionary;  // table, train_range, tokenizer, the segmenter's files
}

namespace {

std::string quoted(const std::string& text) { return gbkJsonString(text); }

// A digest without its modification time, which says nothing of the content: "<size> <xxh3>".
std::string withoutModificationTime(const std::string& key, const std::string& value) {
  if (key.rfind(kFileKeyPrefix, 0) != 0) return value;
  const size_t first = value.find(' ');
  const size_t second = first == std::string::npos ? first : value.find(' ', first + 1);
  if (second == std::string::npos) return value;
  return value.substr(0, first) + value.substr(second);
}

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
        const size_t keyAt = at_;
        std::string key = string();
        expect(':');
        std::string value = string();
        if (!facts.emplace(key, std::move(value)).second) {
          at_ = keyAt;
          skipSpace();
          fail("the key " + gbkJsonString(key) + " is given twice");
        }
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
        } else if (next == 'u') {
          // The text is GBK: an escape stands for one byte, as gbkJsonString writes control bytes,
          // DEL and a GBK lead byte without its second byte.
          unsigned code = 0;
          for (size_t i = at_ + 2; i < at_ + 6; ++i) {
            const char digit = i < text_.size() ? text_[i] : '\0';
            const int nibble = digit >= '0' && digit <= '9'   ? digit - '0'
                               : digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
                               : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                              : -1;
            if (nibble < 0) fail("a \\u escape without four hex digits");
            code = code * 16 + static_cast<unsigned>(nibble);
          }
          if (code > 0xFF) fail("a \\u escape above \\u00ff (the text is GBK)");
          value += static_cast<char>(code);
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

namespace {

// What a digest says of a file as it is now: its size, modification time in ns and XXH3-64.
struct FileState {
  uint64_t size = 0;
  int64_t modified = 0;
  uint64_t hash = 0;
};

int64_t modifiedNanoseconds(const struct stat& status) {
  return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 +
         static_cast<int64_t>(status.st_mtim.tv_nsec);
}

// Size and time of the regular file `path`, and, when `hash` is set, the XXH3-64 of its bytes,
// read in pieces so that a vector file of hundreds of megabytes is never held whole. False when
// it is not a regular file or cannot be read to its end.
bool readFileState(const std::string& path, bool hash, FileState& state) {
  // Non-blocking, so that a FIFO in the file's place is refused instead of waited on; it has no
  // effect on the reads of a regular file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat status;
  bool good = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (good) {
    state.size = static_cast<uint64_t>(status.st_size);
    state.modified = modifiedNanoseconds(status);
  }
  if (good && hash) {
    XXH3_state_t* hasher = XXH3_createState();
    XXH3_64bits_reset(hasher);
    std::vector<char> piece(1 << 20);
    uint64_t total = 0;
    for (;;) {
      const ssize_t got = ::read(fd, piece.data(), piece.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        good = got == 0;
        break;
      }
      XXH3_64bits_update(hasher, piece.data(), static_cast<size_t>(got));
      total += static_cast<uint64_t>(got);
    }
    state.hash = XXH3_64bits_digest(hasher);
    XXH3_freeState(hasher);
    // The bytes hashed are the ones the size stands for.
    state.size = total;
  }
  ::close(fd);
  return good;
}

}  // namespace

std::string fileDigest(const std::string& path, bool withPath) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  const std::string absolutePath = error ? path : absolute.lexically_normal().string();
  FileState state;
  if (!readFileState(path, true, state)) {
    if (withPath) return "absent " + absolutePath;
    throw fileError(path, "cannot read the file to record its digest");
  }
  char digest[80];
  std::snprintf(digest, sizeof digest, "%" PRIu64 " %" PRId64 " %016" PRIx64, state.size,
                state.modified, state.hash);
  return withPath ? std::string(digest) + " " + absolutePath : std::string(digest);
}

bool fileMatchesDigest(const std::string& path, const std::string& recorded) {
  unsigned long long size = 0;
  long long modified = 0;
  char hash[17] = {0};
  int used = 0;
  if (std::sscanf(recorded.c_str(), "%llu %lld %16[0-9a-f]%n", &size, &modified, hash, &used) != 3 ||
      static_cast<size_t>(used) != recorded.size()) {
    return false;
  }
  FileState now;
  if (!readFileState(path, false, now) || now.size != size) return false;
  if (now.modified == modified) return true;
  if (!readFileState(path, true, now) || now.size != size) return false;
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, now.hash);
  return std::string(text) == hash;
}

void recordProvenance(const std::string& path, ProvenanceStage stage, const Provenance& facts) {
  Provenance old;
  try {
    old = readProvenance(path);
  } catch (const DataFileError&) {
    if (stage > ProvenanceStage::kDictionary) throw;
  }
  // A stage that wrote the same bytes from the same facts leaves the later stages' files
  // current: they were built from what it wrote again.
  Provenance oldOwn, newOwn;
  for (const auto& [key, value] : old) {
    if (stageOfKey(key) == stage) oldOwn.emplace(key, withoutModificationTime(key, value));
  }
  for (const auto& [key, value] : facts) newOwn.emplace(key, withoutModificationTime(key, value));
  const bool unchanged = !oldOwn.empty() && oldOwn == newOwn;
  Provenance kept;
  for (auto& [key, value] : old) {
    if (stageOfKey(key) < stage || (unchanged && stageOfKey(key) > stage)) kept.emplace(key, value);
  }
  for (const auto& [key, value] : facts) kept[key] = value;
  writeFileAtomically(path, [&](std::ostream& out) { out << formatProvenance(kept); });
}

}  // namespace newsclass
