// Adding the words of articles to a dictionary, one article at a time: the postings the
// dictionary stage makes, for stages and tools that hold the words already.
#ifndef NEWSCLASS_DICTIONARY_POSTING_ADDER_H_
#define NEWSCLASS_DICTIONARY_POSTING_ADDER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "dictionary/dictionary.h"
#include "segmentation/word_list.h"

namespace newsclass {

// Adds articles' words to a dictionary, with the result of adding them one by one:
//
//   for each word: if its list is empty, append (id, 1); otherwise scan the list from its end for
//   a posting of article id and add 1 to its count, or append (id, 1) when there is none.
//
// Two observations make this cheap without changing the result:
// - All occurrences of one word in one article end on the same posting: the first occurrence
//   finds or appends it, and every later one finds it again, since nothing else changes the
//   list meanwhile. So the article's words are counted first, in a small table that stays in
//   the cache, and each distinct word then adds its count at once.
// - A posting of the article can exist before its first word only when the article id was seen
//   before (a table with repeated ids, or a dictionary built before). The adder remembers every
//   article id that has a posting; for an id it has not seen, the scan's answer is "none"
//   without looking.
// Each word's posting list is found through an open-addressing hash index instead of a walk
// down the ordered map. Words new to the dictionary wait in a side store until the build ends
// and then go into the map in ascending order, each right after the one before, so that no
// insertion walks the tree either. Nothing reads the dictionary during the build.
class PostingAdder {
 public:
  explicit PostingAdder(Dictionary& dictionary) : dictionary_(dictionary) {
    size_t capacity = 1024;
    while (capacity < dictionary.size() * 2) capacity *= 2;
    index_.assign(capacity, IndexSlot{});
    for (auto& [word, list] : dictionary) {
      insertIntoIndex(IndexSlot{hashOf(word), &word, &list});
      for (const Posting& posting : list) seenIds_.insert(posting.articleId);
    }
  }

  void addArticle(const WordList& words, int32_t id) {
    const bool idSeenBefore = !seenIds_.insert(id).second;
    countWords(words);
    for (const WordCount& word : counts_) {
      PostingList& list = listOf(*word.word, word.hash);
      if (list.empty()) {
        list.push_back({id, word.count});
      } else if (list.back().articleId == id) {
        list.back().count += word.count;
      } else if (!idSeenBefore) {
        list.push_back({id, word.count});
      } else {
        addBySearch(list, id, word.count);
      }
    }
  }

  // Moves the new words into the dictionary. Call once, when no more articles come.
  void finish() {
    std::vector<NewWord*> order;
    order.reserve(newWords_.size());
    for (NewWord& word : newWords_) order.push_back(&word);
    std::sort(order.begin(), order.end(),
              [](const NewWord* a, const NewWord* b) { return a->word < b->word; });
    for (NewWord* word : order) {
      dictionary_.emplace_hint(dictionary_.end(), std::move(word->word), std::move(word->list));
    }
    newWords_.clear();
    index_.clear();
  }

 private:
  struct IndexSlot {
    size_t hash = 0;
    const std::string* word = nullptr;
    PostingList* list = nullptr;
  };
  struct NewWord {
    std::string word;
    PostingList list;
  };
  struct WordCount {
    size_t hash;
    const std::string* word;
    int32_t count;
  };

  static size_t hashOf(std::string_view word) { return std::hash<std::string_view>()(word); }

  // The distinct words of an article in order of first occurrence, with their counts.
  void countWords(const WordList& words) {
    counts_.clear();
    size_t capacity = 16;
    while (capacity < words.size() * 2) capacity *= 2;
    local_.assign(capacity, -1);
    const size_t mask = capacity - 1;
    for (const std::string& word : words) {
      const size_t hash = hashOf(word);
      size_t i = hash & mask;
      while (true) {
        int32_t at = local_[i];
        if (at < 0) {
          local_[i] = static_cast<int32_t>(counts_.size());
          counts_.push_back({hash, &word, 1});
          break;
        }
        WordCount& seen = counts_[static_cast<size_t>(at)];
        if (seen.hash == hash && *seen.word == word) {
          ++seen.count;
          break;
        }
        i = (i + 1) & mask;
      }
    }
  }

  PostingList& listOf(const std::string& word, size_t hash) {
    const size_t mask = index_.size() - 1;
    for (size_t i = hash & mask; index_[i].word != nullptr; i = (i + 1) & mask) {
      if (index_[i].hash == hash && *index_[i].word == word) return *index_[i].list;
    }
    NewWord& added = newWords_.emplace_back(NewWord{word, {}});
    if ((indexed_ + 1) * 2 > index_.size()) grow();
    insertIntoIndex(IndexSlot{hash, &added.word, &added.list});
    return added.list;
  }

  void insertIntoIndex(IndexSlot slot) {
    const size_t mask = index_.size() - 1;
    size_t i = slot.hash & mask;
    while (index_[i].word != nullptr) i = (i + 1) & mask;
    index_[i] = slot;
    ++indexed_;
  }

  void grow() {
    std::vector<IndexSlot> old(index_.size() * 2);
    old.swap(index_);
    indexed_ = 0;
    for (const IndexSlot& slot : old) {
      if (slot.word != nullptr) insertIntoIndex(slot);
    }
  }

  static void addBySearch(PostingList& list, int32_t id, int32_t count) {
    for (auto posting = list.rbegin(); posting != list.rend(); ++posting) {
      if (posting->articleId == id) {
        posting->count += count;
        return;
      }
    }
    list.push_back({id, count});
  }

  Dictionary& dictionary_;
  // Map nodes and deque elements never move, so the index may point at them.
  std::vector<IndexSlot> index_;
  size_t indexed_ = 0;
  std::deque<NewWord> newWords_;
  std::unordered_set<int32_t> seenIds_;
  std::vector<WordCount> counts_;
  std::vector<int32_t> local_;
};


}  // namespace newsclass

#endif  // NEWSCLASS_DICTIONARY_POSTING_ADDER_H_
