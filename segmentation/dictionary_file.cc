// The dictionary file dict.dat: a header line with the number of words, then per word its text,
// its posting count and a line of "id count ; " postings. The reader splits the file at white
// space the way a stream's token reader does, so a file with carriage returns or without a final
// line end reads the same. A record cut short ends the load with a warning; a record whose
// numbers no dictionary can hold (a negative posting count, an occurrence count below 1, an
// article listed twice in one word) is refused with an error naming it.
#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/atomic_file.h"
#include "driver/console.h"
#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/errors.h"

namespace newsclass {
namespace {

// Text is handed on in blocks of about this size, always cut at a record's end.
constexpr size_t kBlockSize = 1 << 16;

void appendInt(std::string& out, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

// Reads a file's bytes as a stream in the "C" locale reads white-space-delimited tokens and
// decimal integers: leading white space skipped, a token ends at white space, an integer is an
// optional sign and digits, ending at the first other character. A read that fails leaves the
// reader where it was; the caller stops at the first failure.
class TokenReader {
 public:
  explicit TokenReader(std::string_view bytes)
      : p_(bytes.data()), end_(bytes.data() + bytes.size()) {}

  bool token(std::string_view& value) {
    skipSpace();
    const char* start = p_;
    while (p_ < end_ && !isSpace(*p_)) ++p_;
    value = std::string_view(start, static_cast<size_t>(p_ - start));
    return p_ > start;
  }

  bool integer(int32_t& value) {
    skipSpace();
    const char* p = p_;
    bool negative = false;
    if (p < end_ && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const char* digits = p;
    int64_t magnitude = 0;
    while (p < end_ && *p >= '0' && *p <= '9') {
      magnitude = magnitude * 10 + (*p - '0');
      if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
      ++p;
    }
    if (p == digits) return false;
    int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(signedValue);
    p_ = p;
    return true;
  }

  // Bytes left after the current position, for sizing a list before reading it.
  size_t remaining() const { return static_cast<size_t>(end_ - p_); }

 private:
  static bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  }
  void skipSpace() {
    while (p_ < end_ && isSpace(*p_)) ++p_;
  }

  const char* p_;
  const char* end_;
};

// A record that was read whole but holds a number no dictionary can hold: the load is refused,
// since weights computed from it would not be numbers (a count of 0 divides by 0).
struct ImpossibleRecord {
  std::string reason;
};

// Throws ImpossibleRecord when an article is listed twice in one posting list (each article has
// one posting per word). Lists are usually in ascending id, which needs no copy to check.
void checkDistinctArticles(const PostingList& list) {
  bool ascending = true;
  for (size_t i = 1; i < list.size() && ascending; ++i) {
    ascending = list[i - 1].articleId < list[i].articleId;
  }
  if (ascending) return;
  std::vector<int32_t> ids;
  ids.reserve(list.size());
  for (const Posting& posting : list) ids.push_back(posting.articleId);
  std::sort(ids.begin(), ids.end());
  auto repeated = std::adjacent_find(ids.begin(), ids.end());
  if (repeated != ids.end()) {
    throw ImpossibleRecord{"article " + std::to_string(*repeated) + " has two postings"};
  }
}

// Reads one record after its word. Returns an empty text on success, else what is missing;
// throws ImpossibleRecord for a negative posting count, a count of occurrences below 1 or an
// article listed twice.
std::string readPostings(TokenReader& reader, PostingList& list) {
  int32_t k = 0;
  if (!reader.integer(k)) return "the posting count is missing or not a number";
  if (k < 0) throw ImpossibleRecord{"the posting count " + std::to_string(k) + " is negative"};
  // Every posting takes at least six bytes ("1 1 ; "); a count beyond that is not trusted
  // with memory before its postings are read.
  if (k > 0) list.reserve(std::min<size_t>(static_cast<size_t>(k), reader.remaining() / 6 + 1));
  for (int32_t i = 1; i <= k; ++i) {
    Posting posting{};
    std::string_view separator;
    const char* missing = nullptr;
    if (!reader.integer(posting.articleId)) {
      missing = "the article id is missing or not a number";
    } else if (!reader.integer(posting.count)) {
      missing = "the count is missing or not a number";
    } else if (!reader.token(separator)) {
      missing = "the separator is missing";
    }
    if (missing != nullptr) {
      return "posting " + std::to_string(i) + " of " + std::to_string(k) + ": " + missing;
    }
    if (posting.count < 1) {
      throw ImpossibleRecord{"posting " + std::to_string(i) + " of " + std::to_string(k) +
                             " (article " + std::to_string(posting.articleId) + "): count " +
                             std::to_string(posting.count) + " is below 1"};
    }
    list.push_back(posting);
  }
  checkDistinctArticles(list);
  return std::string();
}

}  // namespace

void CorpusProcessor::saveDictionary(const Dictionary& dictionary, const std::string& path) {
  writeFileAtomically(path, [&dictionary](std::ostream& out) {
    std::string block;
    block.reserve(kBlockSize + 4096);
    appendInt(block, static_cast<int64_t>(dictionary.size()));
    block += '\n';
    for (const auto& [word, list] : dictionary) {
      block += word;
      block += '\n';
      appendInt(block, static_cast<int64_t>(list.size()));
      block += '\n';
      for (const Posting& posting : list) {
        appendInt(block, posting.articleId);
        block += ' ';
        appendInt(block, posting.count);
        block += " ; ";
      }
      block += '\n';
      if (block.size() >= kBlockSize) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        block.clear();
      }
    }
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  });
}

void CorpusProcessor::loadDictionary(Dictionary& dictionary, const std::string& path) {
  std::ostream& warnings = *environment().warnings;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    warnings << path << ": cannot open for reading; no words loaded\n";
    return;
  }
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  TokenReader reader(bytes);
  int32_t header = 0;
  if (!reader.integer(header)) {
    warnings << path << ": the word count at the start is missing or not a number; "
             << "no words loaded\n";
    return;
  }
  if (header < 0) {
    throw DataFileError(path + ": the word count at the start is " + std::to_string(header) +
                        ", below 0");
  }
  // Records come in ascending word order, so each insertion lands right after the previous one.
  auto hint = dictionary.begin();
  std::string_view word;
  for (int64_t record = 1; reader.token(word); ++record) {
    PostingList list;
    std::string fault;
    try {
      fault = readPostings(reader, list);
    } catch (const ImpossibleRecord& impossible) {
      throw DataFileError(path + ": record " + std::to_string(record) + " (\"" + gbkToUtf8(word) +
                          "\"): " + impossible.reason);
    }
    if (!fault.empty()) {
      warnings << path << ": record " << record << " is cut off (" << fault
               << "); only the records before it were loaded\n";
      return;
    }
    hint = dictionary.insert_or_assign(hint, std::string(word), std::move(list));
    ++hint;
  }
}

void printDictionary(const Dictionary& dictionary, Console& console) {
  std::string block;
  block.reserve(kBlockSize + 4096);
  appendInt(block, static_cast<int64_t>(dictionary.size()));
  block += '\n';
  for (const auto& [word, list] : dictionary) {
    block += word;
    block += '\n';
    appendInt(block, static_cast<int64_t>(list.size()));
    block += '\n';
    for (const Posting& posting : list) {
      appendInt(block, posting.articleId);
      block += ',';
      appendInt(block, posting.count);
      block += ';';
    }
    block += '\n';
    // Blocks end with a record, never inside a GBK character, so each converts on its own.
    if (block.size() >= kBlockSize) {
      console.write(block);
      block.clear();
    }
  }
  console.write(block);
}

}  // namespace newsclass
