// The keyword list and its statistics, and the normalisation of a weighted keyword list.
#include <cmath>
#include <string_view>

#include "driver/corpus_processor.h"
#include "driver/text_file_reader.h"
#include "vsm/keyword_weights.h"

namespace newsclass {

// Every white-space-separated token of the file, in file order, duplicates kept. A file that
// cannot be read is an error: the list it would give is unknown, and every vector's layout
// depends on it.
std::vector<std::string> CorpusProcessor::readKeywords(const std::string& path) {
  const std::string bytes = readTextFile(path);
  std::vector<std::string> keywords;
  TokenScanner scanner(bytes);
  std::string_view token;
  while (scanner.next(token)) keywords.emplace_back(token);
  return keywords;
}

std::vector<KeywordStatistic> CorpusProcessor::keywordStatistics(const Dictionary& dictionary,
                                                                 const std::string& path) {
  std::vector<std::string> keywords = readKeywords(path);
  std::vector<KeywordStatistic> statistics;
  statistics.reserve(keywords.size());
  for (const PostingList* postings : vsm::findPostingLists(dictionary, keywords)) {
    statistics.push_back(postings == nullptr ? KeywordStatistic{} : vsm::statisticOf(*postings));
  }
  return statistics;
}

WeightedKeywordList CorpusProcessor::normalizeVector(WeightedKeywordList list) {
  double sum = 0.0;
  for (const auto& entry : list) sum += entry.second * entry.second;
  // A vector of zeros has no direction; it stays as it is rather than turning into NaN.
  if (sum == 0.0) return list;
  const double length = std::sqrt(sum);
  for (auto& entry : list) entry.second = entry.second / length;
  return list;
}

}  // namespace newsclass
