// Testing-set vectors: the articles of a table's id range, read from the database and segmented
// here, weighted with the training dictionary's statistics and the training range's N, so that
// their vectors share positions, IDF factors and normalisation with the training vectors. Here
// tf is the number of times the keyword occurs among the article's words.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/stage_clock.h"
#include "driver/text_utils.h"
#include "segmentation/segmenter_binding.h"
#include "vsm/keyword_weights.h"

namespace newsclass {
namespace {

// Counts the keywords among an article's words. A keyword listed twice shares one counter, so
// both of its positions get the same tf.
class KeywordCounter {
 public:
  explicit KeywordCounter(const std::vector<std::string>& keywords) {
    slotOf_.reserve(keywords.size());
    positionSlot_.reserve(keywords.size());
    for (const std::string& keyword : keywords) {
      auto [entry, added] = slotOf_.try_emplace(keyword, static_cast<int32_t>(slotOf_.size()));
      positionSlot_.push_back(entry->second);
    }
    counts_.assign(slotOf_.size(), 0);
  }

  void count(const WordList& words) {
    std::fill(counts_.begin(), counts_.end(), 0);
    for (const std::string& word : words) {
      auto found = slotOf_.find(std::string_view(word));
      if (found != slotOf_.end()) ++counts_[static_cast<size_t>(found->second)];
    }
  }

  int32_t tf(size_t position) const {
    return counts_[static_cast<size_t>(positionSlot_[position])];
  }

 private:
  // Keys view the keyword list, which outlives the counter.
  std::unordered_map<std::string_view, int32_t> slotOf_;
  std::vector<int32_t> positionSlot_;
  std::vector<int32_t> counts_;
};

}  // namespace

bool CorpusProcessor::buildTestingVsm(int32_t firstId, int32_t lastId, std::string tableName,
                                      const Dictionary& dictionary, VsmModel& model,
                                      const std::string& keywordPath) {
  static const std::string kTimingLabel = gbk("为测试集合建立VSM模型共耗时");
  StageClock clock;

  const std::vector<std::string> keywords = readKeywords(keywordPath);
  const size_t keywordCount = keywords.size();
  const std::string query = articleRangeQuery(tableName, firstId, lastId);
  const StopWordSet stopWords = loadStopWords();

  // The statistics depend only on the keywords and the dictionary: the same for every article.
  std::vector<KeywordStatistic> statistics;
  statistics.reserve(keywordCount);
  for (const PostingList* list : vsm::findPostingLists(dictionary, keywords)) {
    statistics.push_back(list == nullptr ? KeywordStatistic{} : vsm::statisticOf(*list));
  }
  const int64_t collectionSize = static_cast<int64_t>(lastArticleId) - firstArticleId + 1;
  const vsm::WeightTable table(std::move(statistics), collectionSize);
  vsm::warnUnpostedKeywords(table, keywords, keywordPath, "buildTestingVsm", environment());
  KeywordCounter counter(keywords);

  SegmenterSession segmenter(*this);
  {
    OdbcConnection connection(environment().connectionString, "buildTestingVsm");
    RowCursor rows = connection.execute(query);
    for (; !rows.atEnd(); rows.moveNext()) {
      std::string text = rows.text("CAbstract");
      if (text.empty()) continue;  // no text, no vector; the id is not read
      const int32_t articleId = rows.int32("ArticleId");
      const WordList words = tokenizeArticle(std::move(text), stopWords);
      if (keywordCount == 0) continue;
      counter.count(words);
      WeightVector weights(keywordCount);
      for (size_t position = 0; position < keywordCount; ++position) {
        weights[position] = table.weight(position, counter.tf(position));
      }
      vsm::normalizeInPlace(weights.data(), weights.size());
      model.insert_or_assign(articleId, std::move(weights));
    }
  }
  segmenter.stop();

  console().timingLine(kTimingLabel, clock.elapsedSeconds());
  return !model.empty();
}

}  // namespace newsclass
