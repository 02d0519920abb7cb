// Training-set vectors: one normalised TF-IDF vector for every id of the training range, taken
// from the dictionary alone. A training article's tf for a keyword is the number of the keyword's
// postings that carry the article's id, which is 1 when the article contains the keyword and 0
// otherwise: presence, not the posting's count.
//
// Instead of scanning every keyword's posting list once per article, the stage walks each list
// once and files the keyword under every article of the range that it occurs in. An article's
// vector then starts as the precomputed tf = 0 weights, takes the tf = 1 weight where the keyword
// is present, and is normalised; each weight is the same double the formula gives.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/stage_clock.h"
#include "vsm/keyword_weights.h"

namespace newsclass {
namespace {

// The keywords present in each article of [first, last], keyword positions ascending; a
// position occurs once per posting of that article (so twice only in a list that repeats an id).
struct PresenceIndex {
  std::vector<size_t> start;       // article offset -> first entry; one extra at the end
  std::vector<int32_t> keywords;   // keyword positions, grouped by article
};

PresenceIndex indexPresence(const std::vector<const PostingList*>& lists, int32_t first,
                            int64_t articleCount) {
  PresenceIndex index;
  index.start.assign(static_cast<size_t>(articleCount) + 1, 0);
  auto offsetOf = [&](int32_t articleId) -> int64_t {
    int64_t offset = static_cast<int64_t>(articleId) - first;
    return offset >= 0 && offset < articleCount ? offset : -1;
  };
  for (const PostingList* list : lists) {
    if (list == nullptr) continue;
    for (const Posting& posting : *list) {
      int64_t offset = offsetOf(posting.articleId);
      if (offset >= 0) ++index.start[static_cast<size_t>(offset) + 1];
    }
  }
  for (size_t i = 1; i < index.start.size(); ++i) index.start[i] += index.start[i - 1];
  index.keywords.resize(index.start.back());
  std::vector<size_t> fill(index.start.begin(), index.start.end() - 1);
  for (size_t position = 0; position < lists.size(); ++position) {
    if (lists[position] == nullptr) continue;
    for (const Posting& posting : *lists[position]) {
      int64_t offset = offsetOf(posting.articleId);
      if (offset >= 0) index.keywords[fill[static_cast<size_t>(offset)]++] =
          static_cast<int32_t>(position);
    }
  }
  return index;
}

}  // namespace

bool CorpusProcessor::buildTrainingVsm(const Dictionary& dictionary, VsmModel& model,
                                       const std::string& keywordPath) {
  // "共用了" here, "共耗时" for the testing vectors: both kept exactly, as scripts match them.
  static const std::string kTimingLabel = gbk("为训练语料库集合建立VSM模型共用了");
  StageClock clock;
  const int64_t articleCount = static_cast<int64_t>(lastArticleId) - firstArticleId + 1;

  const std::vector<std::string> keywords = readKeywords(keywordPath);
  const std::vector<const PostingList*> lists = vsm::findPostingLists(dictionary, keywords);
  std::vector<KeywordStatistic> statistics;
  statistics.reserve(lists.size());
  for (const PostingList* list : lists) {
    statistics.push_back(list == nullptr ? KeywordStatistic{} : vsm::statisticOf(*list));
  }
  const vsm::WeightTable table(std::move(statistics), articleCount);
  vsm::warnUnpostedKeywords(table, keywords, keywordPath, "buildTrainingVsm", environment());

  const size_t keywordCount = keywords.size();
  if (keywordCount > 0 && articleCount > 0) {
    const PresenceIndex presence = indexPresence(lists, firstArticleId, articleCount);
    const std::vector<double>& absent = table.absentWeights();
    auto hint = model.end();
    for (int64_t offset = 0; offset < articleCount; ++offset) {
      WeightVector weights(absent);
      const size_t end = presence.start[static_cast<size_t>(offset) + 1];
      for (size_t entry = presence.start[static_cast<size_t>(offset)]; entry < end;) {
        const int32_t position = presence.keywords[entry];
        int32_t tf = 0;
        while (entry < end && presence.keywords[entry] == position) {
          ++tf;
          ++entry;
        }
        weights[static_cast<size_t>(position)] = table.weight(static_cast<size_t>(position), tf);
      }
      vsm::normalizeInPlace(weights.data(), weights.size());
      const int32_t articleId = static_cast<int32_t>(firstArticleId + offset);
      hint = model.insert_or_assign(hint, articleId, std::move(weights));
      ++hint;
    }
  }

  console().timingLine(kTimingLabel, clock.elapsedSeconds());
  return !model.empty();
}

}  // namespace newsclass
