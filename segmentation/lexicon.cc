#include "segmentation/lexicon.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <stdexcept>

#include "base/encoding.h"
#include "base/text_file_reader.h"

namespace newsclass {
namespace {

bool isFieldSeparator(char c) { return c == ' ' || c == '\t'; }

// Splits a line into its first `max` fields.
size_t splitFields(std::string_view line, std::string_view* fields, size_t max) {
  size_t count = 0, pos = 0;
  while (count < max) {
    while (pos < line.size() && isFieldSeparator(line[pos])) ++pos;
    if (pos == line.size()) break;
    size_t end = pos;
    while (end < line.size() && !isFieldSeparator(line[end])) ++end;
    fields[count++] = line.substr(pos, end - pos);
    pos = end;
  }
  return count;
}

// The whole token as a number, or false.
bool parseNumber(std::string_view token, double& value) {
  const char* end = token.data() + token.size();
  auto [ptr, ec] = std::from_chars(token.data(), end, value);
  return ec == std::errc() && ptr == end;
}

// Reads one line; `original` is the same line before conversion to GBK (empty when the file
// was GBK already), used to tell a "?" of the text from one that conversion put in place of a
// character GBK cannot hold.
void readEntry(std::string_view line, std::string_view original, bool frequencyRequired,
               WordEntries& words) {
  std::string_view fields[2];
  size_t count = splitFields(line, fields, 2);
  if (count == 0) return;
  double frequency = WordEntries::kNoFrequency;
  if (count == 2 && parseNumber(fields[1], frequency)) {
    if (!(frequency > 0) || !std::isfinite(frequency)) return;
  } else if (frequencyRequired) {
    return;
  } else {
    frequency = WordEntries::kNoFrequency;
  }
  std::string_view word = fields[0];
  if (!original.empty() && word.find('?') != std::string_view::npos) {
    std::string_view originalWord;
    splitFields(original, &originalWord, 1);
    if (std::count(word.begin(), word.end(), '?') !=
        std::count(originalWord.begin(), originalWord.end(), '?')) {
      return;
    }
  }
  WordEntries::Entry entry;
  entry.offset = static_cast<uint32_t>(words.units.size());
  appendUnits(word, words.units);
  entry.length = static_cast<uint32_t>(words.units.size() - entry.offset);
  entry.frequency = frequency;
  words.entries.push_back(entry);
}

bool lessUnits(const WordEntries& words, const WordEntries::Entry& a,
               const WordEntries::Entry& b) {
  return std::lexicographical_compare(
      words.units.begin() + a.offset, words.units.begin() + a.offset + a.length,
      words.units.begin() + b.offset, words.units.begin() + b.offset + b.length);
}

}  // namespace

void appendUnits(std::string_view gbkWord, std::vector<uint16_t>& units) {
  size_t pos = 0;
  while (pos < gbkWord.size()) {
    unsigned char lead = static_cast<unsigned char>(gbkWord[pos]);
    if (lead >= 0x81 && lead <= 0xFE && pos + 1 < gbkWord.size()) {
      unsigned char trail = static_cast<unsigned char>(gbkWord[pos + 1]);
      if (trail >= 0x40 && trail != 0x7F && trail != 0xFF) {
        units.push_back(static_cast<uint16_t>(lead << 8 | trail));
        pos += 2;
        continue;
      }
    }
    units.push_back(lead);
    ++pos;
  }
}

bool readWordFile(const std::string& path, bool frequencyRequired, WordEntries& words) {
  std::string bytes;
  if (tryReadTextFile(path, bytes)) return false;
  parseWordList(bytes, frequencyRequired, words);
  return true;
}

void parseWordList(std::string_view bytes, bool frequencyRequired, WordEntries& words) {
  std::string_view original = bytes;
  bool utf8 = false;
  if (original.starts_with("\xEF\xBB\xBF")) {
    original.remove_prefix(3);
    utf8 = true;
  } else {
    utf8 = isValidUtf8(original);
  }
  std::string converted;
  std::string_view text = original;
  if (utf8) {
    converted = utf8ToGbk(original);
    text = converted;
  }
  // Conversion keeps every line end, so line k of the converted text is line k of the file.
  words.entries.reserve(words.entries.size() + std::count(text.begin(), text.end(), '\n') + 1);
  words.units.reserve(words.units.size() + text.size() / 4);
  LineScanner lines(text);
  LineScanner originalLines(original);
  std::string_view line;
  std::string_view originalLine;
  while (lines.next(line)) {
    if (utf8) originalLines.next(originalLine);
    readEntry(line, originalLine, frequencyRequired, words);
  }
}

WordTrie::WordTrie() : roots_(65536, kNone), nodes_(1), codes_(1, 0), values_(1, 0.0) {}

WordTrie::WordTrie(const WordEntries& words, const std::vector<double>& values) : WordTrie() {
  // Sort the entries by their units, equal words in list order so that the last one listed
  // comes last: first by a counting pass over the first unit, then within each first unit.
  const auto& entries = words.entries;
  std::vector<uint32_t> bucketStart(65537, 0);
  for (const auto& entry : entries) ++bucketStart[words.units[entry.offset] + 1];
  std::partial_sum(bucketStart.begin(), bucketStart.end(), bucketStart.begin());
  std::vector<uint32_t> order(entries.size());
  {
    std::vector<uint32_t> next(bucketStart.begin(), bucketStart.end() - 1);
    for (uint32_t i = 0; i < entries.size(); ++i) order[next[words.units[entries[i].offset]]++] = i;
  }
  auto less = [&](uint32_t a, uint32_t b) {
    if (lessUnits(words, entries[a], entries[b])) return true;
    return !lessUnits(words, entries[b], entries[a]) && a < b;
  };
  for (size_t unit = 0; unit < 65536; ++unit) {
    if (bucketStart[unit + 1] - bucketStart[unit] > 1) {
      std::sort(order.begin() + bucketStart[unit], order.begin() + bucketStart[unit + 1], less);
    }
  }
  // No word has more nodes than units.
  nodes_.reserve(words.units.size() + 1);
  codes_.reserve(words.units.size() + 1);
  values_.reserve(words.units.size() + 1);

  // Every node's children are made together, so they sit side by side.
  struct Pending {
    uint32_t node, begin, end, depth;
  };
  std::vector<Pending> pending;
  auto unitAt = [&](uint32_t orderIndex, uint32_t depth) {
    return words.units[entries[order[orderIndex]].offset + depth];
  };
  for (uint32_t begin = 0; begin < order.size();) {
    uint16_t unit = unitAt(begin, 0);
    uint32_t end = begin + 1;
    while (end < order.size() && unitAt(end, 0) == unit) ++end;
    uint32_t node = addNode(unit);
    roots_[unit] = node;
    pending.push_back({node, begin, end, 1});
    begin = end;
  }
  while (!pending.empty()) {
    Pending next = pending.back();
    pending.pop_back();
    uint32_t begin = next.begin;
    bool isWord = false;
    while (begin < next.end && entries[order[begin]].length == next.depth) {
      values_[next.node] = values[order[begin]];
      isWord = true;
      ++begin;
    }
    if (isWord) {
      nodes_[next.node].flags = kWord;
      ++wordCount_;
    }
    if (begin == next.end) continue;
    uint32_t firstChild = static_cast<uint32_t>(nodes_.size());
    uint32_t childCount = 0;
    while (begin < next.end) {
      uint16_t unit = unitAt(begin, next.depth);
      uint32_t end = begin + 1;
      while (end < next.end && unitAt(end, next.depth) == unit) ++end;
      uint32_t node = addNode(unit);
      ++childCount;
      pending.push_back({node, begin, end, next.depth + 1});
      begin = end;
    }
    nodes_[next.node].firstChild = firstChild;
    nodes_[next.node].childCount = static_cast<uint16_t>(childCount);
  }
}

uint32_t WordTrie::addNode(uint16_t unit) {
  nodes_.emplace_back();
  codes_.push_back(unit);
  values_.push_back(0.0);
  return static_cast<uint32_t>(nodes_.size() - 1);
}

uint32_t WordTrie::addChild(uint32_t parent, uint16_t unit) {
  // A node's children must stay side by side, so the parent's children move to the end of the
  // arrays with the new child in its sorted place; their old places are left unused.
  uint32_t first = nodes_[parent].firstChild;
  uint32_t count = nodes_[parent].childCount;
  if (count == 0xFFFF) throw std::length_error("word trie: too many children of one node");
  uint32_t place = 0;
  while (place < count && codes_[first + place] < unit) ++place;
  uint32_t newFirst = static_cast<uint32_t>(nodes_.size());
  for (uint32_t i = 0; i < count + 1; ++i) {
    if (i == place) {
      addNode(unit);
    } else {
      uint32_t from = first + (i < place ? i : i - 1);
      Node copy = nodes_[from];
      uint16_t code = codes_[from];
      double value = values_[from];
      nodes_.push_back(copy);
      codes_.push_back(code);
      values_.push_back(value);
    }
  }
  // The old places are no words any more.
  for (uint32_t i = 0; i < count; ++i) nodes_[first + i].flags = 0;
  nodes_[parent].firstChild = newFirst;
  nodes_[parent].childCount = static_cast<uint16_t>(count + 1);
  return newFirst + place;
}

void WordTrie::insert(const uint16_t* units, size_t length, double value, uint8_t flags) {
  if (length == 0) return;
  uint32_t node = roots_[units[0]];
  if (node == kNone) {
    node = addNode(units[0]);
    roots_[units[0]] = node;
  }
  for (size_t i = 1; i < length; ++i) {
    uint32_t next = child(node, units[i]);
    node = next != kNone ? next : addChild(node, units[i]);
  }
  if (!(nodes_[node].flags & kWord)) ++wordCount_;
  nodes_[node].flags = static_cast<uint8_t>(flags | kWord);
  values_[node] = value;
}

const double* WordTrie::find(const uint16_t* units, size_t length) const {
  if (length == 0) return nullptr;
  uint32_t node = roots_[units[0]];
  for (size_t i = 1; i < length && node != kNone; ++i) node = child(node, units[i]);
  if (node == kNone || !(nodes_[node].flags & kWord)) return nullptr;
  return &values_[node];
}

}  // namespace newsclass
