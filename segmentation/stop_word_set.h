// Stop words: exact byte equality. Every word the tokenisers keep is looked up here, several per
// article, so beside the ordered set the words sit in an open-addressing hash table built as they
// are added: a lookup costs about one comparison, and no stage has to build a table of its own.
#ifndef NEWSCLASS_SEGMENTATION_STOP_WORD_SET_H_
#define NEWSCLASS_SEGMENTATION_STOP_WORD_SET_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

class StopWordSet {
 public:
  StopWordSet() = default;
  StopWordSet(std::initializer_list<std::string> words);
  // The table points into the set's nodes, so a copy builds its own.
  StopWordSet(const StopWordSet& other);
  StopWordSet& operator=(const StopWordSet& other);
  StopWordSet(StopWordSet&&) noexcept = default;
  StopWordSet& operator=(StopWordSet&&) noexcept = default;

  void insert(std::string_view word);
  bool contains(std::string_view word) const {
    if (slots_.empty()) return false;
    const uint32_t hash = hashOf(word);
    for (size_t i = hash & (slots_.size() - 1); slots_[i].word != nullptr;
         i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i].hash == hash && *slots_[i].word == word) return true;
    }
    return false;
  }

  size_t size() const { return words_.size(); }
  bool empty() const { return words_.empty(); }
  // The words in byte order.
  const std::set<std::string, std::less<>>& words() const { return words_; }
  bool operator==(const StopWordSet& other) const { return words_ == other.words_; }

 private:
  struct Slot {
    uint32_t hash = 0;
    const std::string* word = nullptr;
  };

  // FNV-1a with a final mix; words are short, so a byte loop is as fast as anything.
  static uint32_t hashOf(std::string_view word) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : word) hash = (hash ^ c) * 16777619u;
    hash ^= hash >> 15;
    hash *= 0x2C1B3C6Du;
    hash ^= hash >> 12;
    return hash;
  }
  void place(const std::string* word);
  void rebuild(size_t capacity);

  std::set<std::string, std::less<>> words_;
  std::vector<Slot> slots_;  // a power of two long, at most half full; empty when no words
};

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_STOP_WORD_SET_H_
