// The dictionary file dict.dat: a header line with the number of words, then per word its text,
// its posting count and a line of "id count ; " postings. The reader goes by white-space-
// separated tokens, so a file with carriage returns or without a final line end reads the same.
// A record cut short, a number that is not one, or a number no dictionary can hold (a negative
// posting count, an occurrence count below 1, an article listed twice in one word) is refused
// with an error naming the record; nothing is loaded then.
#include "dictionary/dictionary_file.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "base/console.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_file_reader.h"

namespace newsclass {
namespace {

// Text is handed on in blocks of about this size, always cut at a record's end.
constexpr size_t kBlockSize = 1 << 16;

void appendInt(std::string& out, int64_t value) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

// What is wrong with a record, as its error says it after the record's number and word.
using RecordFault = std::optional<std::string>;

// An article listed twice in one posting list (each article has one posting per word), or none.
// Lists are usually in ascending id, which needs no copy to check.
RecordFault repeatedArticle(const PostingList& list) {
  bool ascending = true;
  for (size_t i = 1; i < list.size() && ascending; ++i) {
    ascending = list[i - 1].articleId < list[i].articleId;
  }
  if (ascending) return std::nullopt;
  std::vector<int32_t> ids;
  ids.reserve(list.size());
  for (const Posting& posting : list) ids.push_back(posting.articleId);
  std::sort(ids.begin(), ids.end());
  auto repeated = std::adjacent_find(ids.begin(), ids.end());
  if (repeated == ids.end()) return std::nullopt;
  return "article " + std::to_string(*repeated) + " has two postings";
}

// The next token as an int32, or none when the text ends or the token is not one.
std::optional<int32_t> nextInt(TokenScanner& scanner) {
  std::string_view token;
  return scanner.next(token) ? parseInt32Token(token) : std::nullopt;
}

// Reads one record after its word into `list`. Besides a record cut short or a token that is
// not what the layout puts there, numbers that no dictionary can hold are faults: weights
// computed from them would not be numbers (a count of 0 divides by 0).
RecordFault readPostings(TokenScanner& scanner, PostingList& list) {
  const std::optional<int32_t> k = nextInt(scanner);
  if (!k) return "the posting count is missing or not a number";
  if (*k < 0) return "the posting count " + std::to_string(*k) + " is negative";
  // Every posting takes at least six bytes ("1 1 ; "); a count beyond that is not trusted
  // with memory before its postings are read.
  list.reserve(std::min<size_t>(static_cast<size_t>(*k), scanner.remaining() / 6 + 1));
  for (int32_t i = 1; i <= *k; ++i) {
    // Made only for a fault: most files have none, and millions of postings.
    auto posting = [&] { return "posting " + std::to_string(i) + " of " + std::to_string(*k); };
    const std::optional<int32_t> articleId = nextInt(scanner);
    if (!articleId) return posting() + ": the article id is missing or not a number";
    const std::optional<int32_t> count = nextInt(scanner);
    if (!count) return posting() + ": the count is missing or not a number";
    std::string_view separator;
    if (!scanner.next(separator)) return posting() + ": the separator is missing";
    if (separator != ";") {
      return posting() + ": the separator is \"" + gbkToUtf8(separator) + "\", not \";\"";
    }
    if (*count < 1) {
      return posting() + " (article " + std::to_string(*articleId) + "): count " +
             std::to_string(*count) + " is below 1";
    }
    list.push_back({*articleId, *count});
  }
  return repeatedArticle(list);
}

// The text of a dictionary: the word count, then per word its text, its posting count and its
// postings, each "<id><between><count><after>", every item on a line of its own. The text goes to
// `sink` in blocks of about kBlockSize bytes, each ending with a record, so never inside a GBK
// character.
template <typename Sink>
void writeDictionaryText(const Dictionary& dictionary, std::string_view between,
                         std::string_view after, Sink sink) {
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
      block += between;
      appendInt(block, posting.count);
      block += after;
    }
    block += '\n';
    if (block.size() >= kBlockSize) {
      sink(std::string_view(block));
      block.clear();
    }
  }
  sink(std::string_view(block));
}

}  // namespace

void saveDictionary(const Dictionary& dictionary, const std::string& path) {
  writeFileAtomically(path, [&dictionary](std::ostream& out) {
    writeDictionaryText(dictionary, " ", " ; ", [&out](std::string_view block) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    });
  });
}

void loadDictionary(Dictionary& dictionary, const std::string& path) {
  const std::string bytes = readTextFile(path);
  TokenScanner scanner(bytes);
  const std::optional<int32_t> header = nextInt(scanner);
  if (!header) throw fileError(path, "the word count at the start is missing or not a number");
  if (*header < 0) {
    throw fileError(path,
                    "the word count at the start is " + std::to_string(*header) + ", below 0");
  }
  // The header does not bound the records: reading goes on to the end of the file.
  Dictionary loaded;
  std::string_view word;
  for (uint64_t record = 1; scanner.next(word); ++record) {
    PostingList list;
    if (RecordFault fault = readPostings(scanner, list)) {
      throw recordError(path, record, "\"" + gbkToUtf8(word) + "\"", *fault);
    }
    // Records come in ascending word order, so each lands right before the end.
    loaded.insert_or_assign(loaded.end(), std::string(word), std::move(list));
  }
  mergeLoaded(dictionary, std::move(loaded));
}

void printDictionary(const Dictionary& dictionary, Console& console) {
  writeDictionaryText(dictionary, ",", ";",
                      [&console](std::string_view block) { console.write(block); });
}

}  // namespace newsclass
