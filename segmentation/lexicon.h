// The segmenter's word store. A word is a sequence of units: a byte below 0x80, a two-byte GBK
// character (lead << 8 | trail) or a stray byte. `WordTrie` keeps words in a trie whose first
// level is a table indexed by the first unit and whose deeper levels keep each node's children
// side by side, sorted by unit, so that every word starting at a text position is found in one
// walk. `readWordFile` reads the word lists the segmenter loads: the lexicon and user
// dictionaries.
#ifndef NEWSCLASS_SEGMENTATION_LEXICON_H_
#define NEWSCLASS_SEGMENTATION_LEXICON_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

// Appends the units of a GBK word.
void appendUnits(std::string_view gbkWord, std::vector<uint16_t>& units);

// Words read from a word list, in file order. Frequencies are positive; a word listed without a
// frequency has kNoFrequency.
struct WordEntries {
  static constexpr double kNoFrequency = -1.0;
  struct Entry {
    uint32_t offset;  // into `units`
    uint32_t length;  // in units, at least 1
    double frequency;
  };
  std::vector<uint16_t> units;
  std::vector<Entry> entries;
};

// Reads a word list: one entry a line (lines end at LF, CR LF or a lone CR), the word, then
// optionally a frequency and a tag, separated by spaces or tabs; the file is UTF-8 (with or without
// a byte order mark) or GBK, decided for the whole file. Words are stored in GBK. Skipped: blank
// lines, words GBK cannot hold, second fields that are numbers but not positive, and, when
// `frequencyRequired`, lines without a number as second field. A second field that is not a number
// is a tag. Returns false when the file cannot be read.
bool readWordFile(const std::string& path, bool frequencyRequired, WordEntries& words);
// The same for the bytes of a word-list file.
void parseWordList(std::string_view bytes, bool frequencyRequired, WordEntries& words);

class WordTrie {
 public:
  static constexpr uint32_t kNone = 0;
  static constexpr uint8_t kWord = 1;
  // A word chosen wherever it occurs (a user word given without a frequency).
  static constexpr uint8_t kForced = 2;

  WordTrie();
  // Builds the trie of `words`, entry i carrying values[i]. A word listed more than once keeps
  // its last value.
  WordTrie(const WordEntries& words, const std::vector<double>& values);

  // Adds a word or replaces its value and flags (kWord is always set).
  void insert(const uint16_t* units, size_t length, double value, uint8_t flags);

  // The node reached from the start by one unit, or kNone.
  uint32_t root(uint16_t unit) const { return roots_[unit]; }
  // The child of `node` by `unit`, or kNone.
  uint32_t child(uint32_t node, uint16_t unit) const {
    const Node& n = nodes_[node];
    const uint16_t* first = codes_.data() + n.firstChild;
    uint32_t count = n.childCount;
    if (count <= 8) {
      for (uint32_t i = 0; i < count; ++i) {
        if (first[i] >= unit) return first[i] == unit ? n.firstChild + i : kNone;
      }
      return kNone;
    }
    uint32_t low = 0, high = count;
    while (low < high) {
      uint32_t middle = (low + high) / 2;
      if (first[middle] < unit) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low < count && first[low] == unit ? n.firstChild + low : kNone;
  }
  uint8_t flags(uint32_t node) const { return nodes_[node].flags; }
  double value(uint32_t node) const { return values_[node]; }

  // The value of a whole word, or nullptr when it is not a word.
  const double* find(const uint16_t* units, size_t length) const;
  size_t wordCount() const { return wordCount_; }
  // The trie's arrays as bytes, in the order roots, nodes, units, values, for saving the trie
  // whole: 65536 four-byte root indexes, then per node an eight-byte node (first child, child
  // count, flags, a zero byte), its two-byte unit and its eight-byte value, in memory order.
  std::array<std::span<const std::byte>, 4> arrays() const;
  // Makes the trie `nodeCount` nodes of zeros (the sentinel included) holding `wordCount`
  // words, and returns its arrays to be filled, as arrays() lays them out. The trie is usable
  // only once restored() has accepted what was filled in.
  std::array<std::span<std::byte>, 4> prepareRestore(size_t nodeCount, size_t wordCount);
  // Checks a trie filled through prepareRestore: every index in bounds, children sorted and
  // distinct, only known flags, the sentinel empty, as many word nodes as the word count.
  // Returns false (the trie must then be dropped) when any check fails, so that damaged bytes
  // can never lead a walk outside the arrays.
  bool restored() const;
  size_t nodeCount() const { return nodes_.size(); }

  // Calls f(value) for the value of every word, in node order, and lets it change the value.
  template <class F>
  void forEachValue(F f) {
    for (size_t i = 0; i < nodes_.size(); ++i) {
      if (nodes_[i].flags & kWord) f(values_[i]);
    }
  }

 private:
  // The walk reads these eight bytes per step; values are read for words only.
  struct Node {
    uint32_t firstChild = 0;
    uint16_t childCount = 0;
    uint8_t flags = 0;
    uint8_t unused = 0;  // makes the saved bytes of a node fully defined
  };
  uint32_t addNode(uint16_t unit);
  uint32_t addChild(uint32_t parent, uint16_t unit);

  std::vector<uint32_t> roots_;  // 65536 entries
  std::vector<Node> nodes_;      // node 0 is the "none" sentinel
  std::vector<uint16_t> codes_;  // the unit leading to each node, parallel to nodes_
  std::vector<double> values_;   // parallel to nodes_
  size_t wordCount_ = 0;
};

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_LEXICON_H_
