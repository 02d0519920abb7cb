// The training-vector stage: the keyword file's statistics in the training dictionary, then
// addTrainingVectors over the whole training range.
#include "vsm/training_vsm.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/encoding.h"
#include "base/parallel.h"
#include "base/stage_clock.h"
#include "vsm/keywords.h"
#include "vsm/tfidf_weights.h"

namespace newsclass {
namespace vsm {
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

void addTrainingVectors(const std::vector<const PostingList*>& lists, const WeightTable& table,
                        int32_t firstId, int64_t articleCount, VsmModel& model, int threads) {
  if (lists.empty() || articleCount <= 0) return;
  // Instead of scanning every keyword's posting list once per article, each list is walked once
  // and the keyword filed under every article of the range it occurs in. An article's vector
  // then starts as the precomputed tf = 0 weights and takes the weight of its own tf where the
  // keyword is present.
  const PresenceIndex presence = indexPresence(lists, firstId, articleCount);
  const std::vector<double>& absent = table.absentWeights();
  // The vectors are made on the threads, each into its own slot, and go into the model in id
  // order afterwards.
  std::vector<WeightVector> vectors(static_cast<size_t>(articleCount));
  constexpr size_t kArticlesPerTask = 256;
  runInParallel(threads, (vectors.size() + kArticlesPerTask - 1) / kArticlesPerTask,
                [&](size_t task, size_t) {
    const size_t end = std::min(vectors.size(), (task + 1) * kArticlesPerTask);
    for (size_t offset = task * kArticlesPerTask; offset < end; ++offset) {
      WeightVector weights(absent);
      const size_t last = presence.start[offset + 1];
      for (size_t entry = presence.start[offset]; entry < last;) {
        const int32_t position = presence.keywords[entry];
        int32_t tf = 0;
        while (entry < last && presence.keywords[entry] == position) {
          ++tf;
          ++entry;
        }
        weights[static_cast<size_t>(position)] = table.weight(static_cast<size_t>(position), tf);
      }
      normalizeInPlace(weights.data(), weights.size());
      vectors[offset] = std::move(weights);
    }
  });
  auto hint = model.end();
  for (size_t offset = 0; offset < vectors.size(); ++offset) {
    const int32_t articleId = static_cast<int32_t>(firstId + static_cast<int64_t>(offset));
    hint = model.insert_or_assign(hint, articleId, std::move(vectors[offset]));
    ++hint;
  }
}

void addWeightedTrainingVectors(Weighting weighting, const std::vector<const PostingList*>& lists,
                                const WeightTable& table, ArticleRange range, VsmModel& model,
                                int threads) {
  const int64_t articleCount = range.size();
  if (weighting != Weighting::kTfidf) {
    addTrainingVectors(lists, table, range.firstId, articleCount, model, threads);
    return;
  }
  if (lists.empty()) return;
  const std::vector<WeightedKeywordList> vectors = tfidfTrainingVectors(
      lists, table.statistics(), range.firstId, articleCount, table.collectionSize());
  auto hint = model.end();
  for (size_t offset = 0; offset < vectors.size(); ++offset) {
    hint = model.insert_or_assign(hint, static_cast<int32_t>(range.firstId + offset),
                                  denseOf(vectors[offset], lists.size()));
    ++hint;
  }
}

}  // namespace vsm

bool buildTrainingVsm(const StageEnvironment& environment, ArticleRange range, Weighting weighting,
                      const Dictionary& dictionary, VsmModel& model,
                      const std::string& keywordPath) {
  static const std::string kTimingLabel = gbk(kTrainingVectorsTimingLabel);
  StageClock clock;
  const int64_t articleCount = range.size();

  const std::vector<std::string> keywords = readKeywords(keywordPath);
  const std::vector<const PostingList*> lists = vsm::findPostingLists(dictionary, keywords);
  const vsm::WeightTable table(vsm::statisticsOf(lists), articleCount);
  vsm::warnUnpostedKeywords(table, keywords, keywordPath, "buildTrainingVsm",
                            environment.console, environment.warnings);

  vsm::addWeightedTrainingVectors(weighting, lists, table, range, model, environment.threads);

  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
  return !model.empty();
}

}  // namespace newsclass
