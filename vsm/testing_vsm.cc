// The testing-vector stage: reads the articles of the id range, tokenises each and stores its
// testingVector.
#include "vsm/testing_vsm.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/encoding.h"
#include "base/stage_clock.h"
#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "segmentation/parallel_tokenizing.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"
#include "segmentation/tokenizer.h"
#include "vsm/keyword_weights.h"
#include "vsm/keywords.h"
#include "vsm/tfidf_weights.h"
#include "vsm/written_weights.h"

namespace newsclass {
namespace vsm {

KeywordCounter::KeywordCounter(const std::vector<std::string>& keywords) {
  slotOf_.reserve(keywords.size());
  positionSlot_.reserve(keywords.size());
  for (const std::string& keyword : keywords) {
    auto [entry, added] = slotOf_.try_emplace(keyword, static_cast<int32_t>(slotOf_.size()));
    positionSlot_.push_back(entry->second);
  }
  counts_.assign(slotOf_.size(), 0);
  slotStart_.assign(slotOf_.size() + 1, 0);
  for (int32_t slot : positionSlot_) ++slotStart_[static_cast<size_t>(slot) + 1];
  for (size_t i = 1; i < slotStart_.size(); ++i) slotStart_[i] += slotStart_[i - 1];
  slotPositions_.resize(positionSlot_.size());
  std::vector<size_t> next(slotStart_.begin(), slotStart_.end() - 1);
  for (size_t position = 0; position < positionSlot_.size(); ++position) {
    slotPositions_[next[static_cast<size_t>(positionSlot_[position])]++] =
        static_cast<int32_t>(position);
  }
}

void KeywordCounter::count(const WordList& words) {
  // Only the counts of the previous article's keywords are cleared, not the whole list's.
  for (int32_t slot : touched_) counts_[static_cast<size_t>(slot)] = 0;
  touched_.clear();
  for (const std::string& word : words) {
    auto found = slotOf_.find(std::string_view(word));
    if (found == slotOf_.end()) continue;
    if (counts_[static_cast<size_t>(found->second)]++ == 0) touched_.push_back(found->second);
  }
}

std::vector<std::pair<int32_t, int32_t>> KeywordCounter::presentPositions() const {
  std::vector<std::pair<int32_t, int32_t>> present;
  for (int32_t slot : touched_) {
    const int32_t tf = counts_[static_cast<size_t>(slot)];
    for (size_t i = slotStart_[static_cast<size_t>(slot)];
         i < slotStart_[static_cast<size_t>(slot) + 1]; ++i) {
      present.emplace_back(slotPositions_[i], tf);
    }
  }
  std::sort(present.begin(), present.end());
  return present;
}

WeightVector testingVector(const WeightTable& table, const KeywordCounter& counter) {
  WeightVector weights(table.size());
  for (size_t position = 0; position < weights.size(); ++position) {
    weights[position] = table.weight(position, counter.tf(position));
  }
  normalizeInPlace(weights.data(), weights.size());
  return weights;
}

WeightVector testingVectorOf(Weighting weighting, const WeightTable& table,
                             const std::vector<KeywordStatistic>& statistics,
                             const KeywordCounter& counter, int64_t collectionSize) {
  if (weighting != Weighting::kTfidf) return testingVector(table, counter);
  return denseOf(tfidfTestingVector(statistics, counter, collectionSize), statistics.size());
}

TokenizingOptions testingTokenizingOptions(const StageEnvironment& environment,
                                           OdbcConnection& connection,
                                           const std::string& tableName, int32_t firstId,
                                           int32_t lastId) {
  TokenizingOptions options;
  options.tokenizeBeforeId = false;
  options.progressLabel = "testing vectors";
  options.progressTotal = progressTotalOf(environment, connection, tableName, firstId, lastId);
  return options;
}

WeightVector keywordlessTestingVector(const WeightTable& table) {
  WeightVector weights = table.absentWeights();
  normalizeInPlace(weights.data(), weights.size());
  WrittenWeightRounder().roundInPlace(weights);
  return weights;
}

}  // namespace vsm

bool buildTestingVsm(const StageEnvironment& environment, ArticleRange trainingRange,
                     Weighting weighting, TermKinds terms, int32_t firstId, int32_t lastId,
                     const std::string& tableName, const Dictionary& dictionary, VsmModel& model,
                     const std::string& keywordPath) {
  static const std::string kTimingLabel = gbk(kTestingVectorsTimingLabel);
  StageClock clock;

  const std::vector<std::string> keywords = readKeywords(keywordPath);
  // The statistics depend only on the keywords and the dictionary: the same for every article.
  const vsm::WeightTable table(vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords)),
                               trainingRange.size());
  vsm::warnUnpostedKeywords(table, keywords, keywordPath, "buildTestingVsm",
                            environment.console, environment.warnings);
  vsm::addTestingVectors(environment, weighting, terms, firstId, lastId, tableName, keywords,
                         table, model);
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
  return !model.empty();
}

namespace vsm {

void addTestingVectors(const StageEnvironment& environment, Weighting weighting, TermKinds terms,
                       int32_t firstId, int32_t lastId, const std::string& tableName,
                       const std::vector<std::string>& keywords, const WeightTable& table,
                       VsmModel& model) {
  const size_t keywordCount = keywords.size();
  const std::string query = articleRangeQuery(tableName, firstId, lastId);
  const StopWordSet stopWords = loadStopWords(environment);
  const std::vector<KeywordStatistic>& statistics = table.statistics();
  const int64_t collectionSize = table.collectionSize();

  SegmenterSession segmenter(environment);
  {
    OdbcConnection connection(environment.connectionString, "buildTestingVsm");
    TokenizingOptions options =
        testingTokenizingOptions(environment, connection, tableName, firstId, lastId);
    options.terms = terms;
    RowCursor rows = connection.execute(query);
    // Each thread counts with a counter of its own; the vectors are made where the words are.
    std::vector<vsm::KeywordCounter> counters;
    if (keywordCount > 0) {
      counters.assign(static_cast<size_t>(std::max(1, environment.threads)),
                      KeywordCounter(keywords));
      options.prepare = [&](TokenizedArticle& article, size_t lane) {
        counters[lane].count(article.words);
        article.weights =
            testingVectorOf(weighting, table, statistics, counters[lane], collectionSize);
      };
    }
    tokenizeRows(environment, rows, &tokenizeArticle, stopWords, options,
                 [&](TokenizedArticle& article) {
                   // No text, no vector; no keywords, no vector either.
                   if (!article.hasText || keywordCount == 0) return;
                   model.insert_or_assign(article.id, std::move(article.weights));
                 });
  }
  segmenter.stop();
}

}  // namespace vsm
}  // namespace newsclass
