// The keyword list and its statistics, and the normalisation of a weighted keyword list.
#include "vsm/keywords.h"

#include <string_view>

#include "base/text_file_reader.h"
#include "vsm/keyword_weights.h"

namespace newsclass {

std::vector<std::string> readKeywords(const std::string& path) {
  const std::string bytes = readTextFile(path);
  std::vector<std::string> keywords;
  TokenScanner scanner(bytes);
  std::string_view token;
  while (scanner.next(token)) keywords.emplace_back(token);
  return keywords;
}

std::vector<KeywordStatistic> keywordStatistics(const Dictionary& dictionary,
                                                const std::string& path) {
  return vsm::statisticsOf(vsm::findPostingLists(dictionary, readKeywords(path)));
}

WeightedKeywordList normalizeVector(WeightedKeywordList list) {
  std::vector<double> weights;
  weights.reserve(list.size());
  for (const auto& entry : list) weights.push_back(entry.second);
  vsm::normalizeInPlace(weights.data(), weights.size());
  for (size_t i = 0; i < list.size(); ++i) list[i].second = weights[i];
  return list;
}

}  // namespace newsclass
