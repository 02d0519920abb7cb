// Feature words by document frequency: the n words that occur in the most articles.
#include "contingency/df_selection.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/atomic_file.h"
#include "base/encoding.h"
#include "base/errors.h"

namespace newsclass {

std::vector<std::string_view> dfFeatureWords(const Dictionary& dictionary, unsigned n) {
  // (word, document frequency) in dictionary order; equal frequencies keep that order.
  std::vector<std::pair<const std::string*, int32_t>> ranking;
  ranking.reserve(dictionary.size());
  for (const auto& [word, postings] : dictionary) {
    ranking.emplace_back(&word, static_cast<int32_t>(postings.size()));
  }
  std::stable_sort(ranking.begin(), ranking.end(),
                   [](const auto& x, const auto& y) { return x.second > y.second; });
  // A threshold beyond the dictionary takes every word.
  const size_t taken = std::min<size_t>(n, ranking.size());
  std::vector<std::string_view> words;
  words.reserve(taken);
  for (size_t i = 0; i < taken; ++i) words.emplace_back(*ranking[i].first);
  return words;
}

void selectByDfThreshold(const Dictionary& dictionary, unsigned n, const std::string& path,
                         Console& console) {
  static const std::string kCountLabel = gbk("最后共选择特征词");
  static const std::string kThresholdLabel = "by the way,DFthreshold equals";

  const std::vector<std::string_view> words = dfFeatureWords(dictionary, n);
  const size_t written = words.size();
  if (written == 0) {
    // An empty keyword list is no selection: every vector would be one of no position.
    throw DataFileError(path + ": no feature word selected: " +
                        (dictionary.empty() ? "the dictionary holds no word" : "a threshold of 0"));
  }
  writeFileAtomically(path, [&](std::ostream& out) {
    for (std::string_view word : words) {
      out.write(word.data(), static_cast<std::streamsize>(word.size()));
      out.put('\n');
    }
  });

  console.line(kCountLabel + std::to_string(written));
  console.line(kThresholdLabel + std::to_string(n));
}

}  // namespace newsclass
