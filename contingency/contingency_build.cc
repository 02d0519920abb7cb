// Builds the word-by-category table of document counts from the dictionary and the article ids
// of each category.
#include "contingency/contingency_build.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/encoding.h"
#include "base/parallel.h"
#include "base/stage_clock.h"
#include "contingency/category_articles.h"
#include "contingency/contingency_counting.h"

namespace newsclass {
namespace {

// A dense array costs 4 bytes per id in the span; beyond this much slack per listed id a hash map
// is smaller.
constexpr int64_t kDenseSlack = 8;
constexpr int64_t kDenseFloor = 4096;

}  // namespace

CategoryMembership::CategoryMembership(const CategoryArticles& articles) {
  size_t total = 0;
  for (const auto& entry : articles) total += entry.second.size();
  std::vector<std::pair<int32_t, uint32_t>> listed;  // (article id, category index)
  listed.reserve(total);
  uint32_t category = 0;
  for (const auto& entry : articles) {
    for (int32_t id : entry.second) listed.emplace_back(id, category);
    ++category;
  }
  std::sort(listed.begin(), listed.end());

  // One slot per distinct id; its entries count how often each category lists it.
  std::vector<int32_t> slotIds;
  for (size_t i = 0; i < listed.size(); ++i) {
    const auto [id, index] = listed[i];
    if (i == 0 || id != listed[i - 1].first) {
      slotIds.push_back(id);
      entryStart_.push_back(static_cast<uint32_t>(entries_.size()));
      entries_.push_back({index, 1});
    } else if (index != listed[i - 1].second) {
      entries_.push_back({index, 1});
    } else {
      ++entries_.back().occurrences;
    }
  }
  entryStart_.push_back(static_cast<uint32_t>(entries_.size()));
  if (slotIds.empty()) return;

  minId_ = slotIds.front();
  const int64_t span = static_cast<int64_t>(slotIds.back()) - minId_ + 1;
  dense_ = span <= kDenseSlack * static_cast<int64_t>(slotIds.size()) + kDenseFloor;
  if (dense_) {
    denseSlots_.assign(static_cast<size_t>(span), -1);
    for (size_t slot = 0; slot < slotIds.size(); ++slot) {
      denseSlots_[static_cast<size_t>(slotIds[slot] - minId_)] = static_cast<int32_t>(slot);
    }
  } else {
    sparseSlots_.reserve(slotIds.size());
    for (size_t slot = 0; slot < slotIds.size(); ++slot) {
      sparseSlots_.emplace(slotIds[slot], static_cast<int32_t>(slot));
    }
  }
}

void countContingencyCells(const Dictionary& dictionary, const CategoryArticles& articles,
                           ContingencyTable& table, int threads) {
  countContingencyCells(dictionary, articles, table, threads,
                        ArticleRange{INT32_MIN, INT32_MAX});
}

void countContingencyCells(const Dictionary& dictionary, const CategoryArticles& articles,
                           ContingencyTable& table, int threads, ArticleRange counted) {
  if (articles.empty()) return;
  const CategoryMembership membership(articles);
  std::vector<const std::string*> names;
  std::vector<int32_t> sizes;
  for (const auto& [name, ids] : articles) {
    names.push_back(&name);
    sizes.push_back(static_cast<int32_t>(ids.size()));
  }

  // The words are cut into runs; each run's cells are counted into a table of its own, on any
  // thread, and the runs' nodes then move into `table` in word order without being copied.
  std::vector<Dictionary::const_iterator> runStarts;
  constexpr size_t kWordsPerRun = 2048;
  size_t position = 0;
  for (auto word = dictionary.begin(); word != dictionary.end(); ++word, ++position) {
    if (position % kWordsPerRun == 0) runStarts.push_back(word);
  }
  runStarts.push_back(dictionary.end());
  std::vector<ContingencyTable> runs(runStarts.size() - 1);
  runInParallel(threads, runs.size(), [&](size_t run, size_t) {
    std::vector<int32_t> withWord(names.size());
    ContingencyTable& cells = runs[run];
    for (auto entry = runStarts[run]; entry != runStarts[run + 1]; ++entry) {
      const auto& [word, postings] = *entry;
      if (word.empty() || word == " ") continue;
      std::fill(withWord.begin(), withWord.end(), 0);
      for (const Posting& posting : postings) {
        if (posting.articleId < counted.firstId || posting.articleId > counted.lastId) continue;
        for (const CategoryMembership::Entry& member : membership.find(posting.articleId)) {
          withWord[member.category] += member.occurrences;
        }
      }
      for (size_t c = 0; c < names.size(); ++c) {
        const ContingencyCell cell{withWord[c], sizes[c] - withWord[c]};
        cells.emplace_hint(cells.end(), ContingencyKey(word, *names[c]), cell);
      }
    }
  });

  // Keys arrive in ascending order, so the position after the last cell placed is where the
  // next one goes (or already is); a wrong hint only costs a regular search.
  auto hint = table.end();
  for (ContingencyTable& cells : runs) {
    while (!cells.empty()) {
      auto node = cells.extract(cells.begin());
      auto placed = table.insert(hint, std::move(node));
      // A cell of the same key already there is replaced.
      if (node) placed->second = node.mapped();
      hint = std::next(placed);
    }
  }
}

bool buildContingencyTable(const StageEnvironment& environment, const Dictionary& dictionary,
                           const CategoryList& categories, ContingencyTable& table,
                           const std::string& tableName) {
  static const std::string kTimingLabel = gbk(kContingencyTimingLabel);
  const StageClock clock;
  CategoryArticles articles;
  collectCategoryArticles(environment, categories, tableName, articles);
  countContingencyCells(dictionary, articles, table, environment.threads);
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
  return !table.empty();
}

}  // namespace newsclass
