// The counting core of the contingency table: for every dictionary word and every category, how
// many of the category's listed article ids the word's postings hit. Kept apart from the database
// read so that it can be tested and measured on its own.
#ifndef NEWSCLASS_CONTINGENCY_CONTINGENCY_COUNTING_H_
#define NEWSCLASS_CONTINGENCY_CONTINGENCY_COUNTING_H_

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "base/stage_environment.h"
#include "contingency/contingency_table.h"
#include "dictionary/dictionary.h"

namespace newsclass {

// Which categories list an article id, and how many times each lists it. Categories are numbered
// in the order of the CategoryArticles map (ascending name). Ids are looked up in a dense array
// when they lie close together and in a hash map otherwise, so any int32 id works.
class CategoryMembership {
 public:
  struct Entry {
    uint32_t category;    // index into the CategoryArticles map's order
    int32_t occurrences;  // how often the category's id list holds the id
  };

  explicit CategoryMembership(const CategoryArticles& articles);

  // The categories that list `id`, ascending by index; empty when none does.
  std::span<const Entry> find(int32_t id) const {
    int64_t slot = -1;
    if (dense_) {
      int64_t offset = static_cast<int64_t>(id) - minId_;
      if (offset >= 0 && offset < static_cast<int64_t>(denseSlots_.size())) {
        slot = denseSlots_[static_cast<size_t>(offset)];
      }
    } else {
      auto found = sparseSlots_.find(id);
      if (found != sparseSlots_.end()) slot = found->second;
    }
    if (slot < 0) return {};
    const size_t begin = entryStart_[static_cast<size_t>(slot)];
    const size_t end = entryStart_[static_cast<size_t>(slot) + 1];
    return std::span<const Entry>(entries_.data() + begin, end - begin);
  }

 private:
  bool dense_ = true;
  int64_t minId_ = 0;
  std::vector<int32_t> denseSlots_;                   // id - minId_ -> slot, -1 when unlisted
  std::unordered_map<int32_t, int32_t> sparseSlots_;  // id -> slot
  std::vector<uint32_t> entryStart_;                  // slot -> first entry; one extra at the end
  std::vector<Entry> entries_;
};

// Assigns, for every dictionary word other than "" and " " and every category of `articles`, the
// cell (withWord, n - withWord) where n is the length of the category's id list and withWord sums,
// over the word's postings, how often the posting's article id occurs in that list. Cells of the
// same keys are replaced; other cells of `table` are left alone. The counting runs on up to
// `threads` threads; the table is the same for any number.
void countContingencyCells(const Dictionary& dictionary, const CategoryArticles& articles,
                           ContingencyTable& table, int threads = 1);

// The same, counting only the postings of the articles of `counted` (a rank's share of the
// training range: the shares' withWord counts add up to those of the whole range).
void countContingencyCells(const Dictionary& dictionary, const CategoryArticles& articles,
                           ContingencyTable& table, int threads, ArticleRange counted);

}  // namespace newsclass

#endif  // NEWSCLASS_CONTINGENCY_CONTINGENCY_COUNTING_H_
