// The arithmetic that training and testing vectors share. A keyword's weight in an article is
// (tf / M + 0.5) * ln(N / df), with M the keyword's greatest posting count and df its number of
// postings in the training dictionary, N the size of the training range, every operand a double.
// Both stages look the statistics up once per call and reuse them for every article; the values
// are the same as looking them up per article.
#ifndef NEWSCLASS_VSM_KEYWORD_WEIGHTS_H_
#define NEWSCLASS_VSM_KEYWORD_WEIGHTS_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/console.h"
#include "dictionary/dictionary.h"
#include "vsm/vsm_model.h"

namespace newsclass::vsm {

// (M, df) of one posting list: df its length, M its greatest count (0 for an empty list).
KeywordStatistic statisticOf(const PostingList& postings);

// The posting list of each keyword, in keyword order; null for a word the dictionary lacks.
std::vector<const PostingList*> findPostingLists(const Dictionary& dictionary,
                                                 const std::vector<std::string>& keywords);

// statisticOf of each list, in order; a null list (a keyword the dictionary lacks) gives (0, 0).
std::vector<KeywordStatistic> statisticsOf(const std::vector<const PostingList*>& lists);

// (tf / M + 0.5) * idf, each operand converted to double before its division.
inline double termWeight(int32_t tf, int32_t maxCount, double idf) {
  return (static_cast<double>(tf) / static_cast<double>(maxCount) + 0.5) * idf;
}

// Per keyword: its statistics, ln(N / df), and the weights for tf = 0 and tf = 1 computed by the
// formula itself (so an M of 0 gives what the division gives). A keyword with df = 0 has no
// defined weight; it weighs 0 whatever its tf.
class WeightTable {
 public:
  WeightTable(std::vector<KeywordStatistic> statistics, int64_t collectionSize);

  size_t size() const { return statistics_.size(); }
  const std::vector<KeywordStatistic>& statistics() const { return statistics_; }
  int64_t collectionSize() const { return collectionSize_; }
  const std::vector<double>& absentWeights() const { return absent_; }
  double weight(size_t keyword, int32_t tf) const {
    if (tf == 0) return absent_[keyword];
    if (tf == 1) return present_[keyword];
    if (statistics_[keyword].documentFrequency == 0) return 0.0;
    return termWeight(tf, statistics_[keyword].maxCount, idf_[keyword]);
  }

  // Number of keywords without postings, and the position of the first (size() when none).
  size_t unpostedCount() const;
  size_t firstUnposted() const;

 private:
  std::vector<KeywordStatistic> statistics_;
  int64_t collectionSize_;
  std::vector<double> idf_;
  std::vector<double> absent_;
  std::vector<double> present_;
};

// Divides every weight by the square root of the sum of their squares, summed in index order.
// A vector whose sum of squares is 0 stays as it is (all zeros) rather than turning into NaN:
// a vector of zeros has no direction.
void normalizeInPlace(double* weights, size_t count);

// One warning on `warnings` when some keywords have no postings in the dictionary: how many,
// and the first of them, shown in UTF-8 unless `console` writes GBK.
void warnUnpostedKeywords(const WeightTable& table, const std::vector<std::string>& keywords,
                          const std::string& keywordPath, const std::string& stage,
                          const Console* console, std::ostream& warnings);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_KEYWORD_WEIGHTS_H_
