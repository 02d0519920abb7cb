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

void selectByDfThreshold(const Dictionary& dictionary, unsigned n, const std::string& path,
                         Console& console) {
  static const std::string kCountLabel = gbk("最后共选择特征词");
  static const std::string kThresholdLabel = "by the way,DFthreshold equals";

  // (word, document frequency) in dictionary order; equal frequencies keep that order.
  std::vector<std::pair<const std::string*, int32_t>> ranking;
  ranking.reserve(dictionary.size());
  for (const auto& [word, postings] : dictionary) {
    ranking.emplace_back(&word, static_cast<int32_t>(postings.size()));
  }
  std::stable_sort(ranking.begin(), ranking.end(),
                   [](const auto& x, const auto& y) { return x.second > y.second; });

  // A threshold beyond the dictionary writes every word.
  const size_t written = std::min<size_t>(n, ranking.size());
  if (written == 0) {
    // An empty keyword list is no selection: every vector would be one of no position.
    throw DataFileError(path + ": no feature word selected: " +
                        (ranking.empty() ? "the dictionary holds no word" : "a threshold of 0"));
  }
  writeFileAtomically(path, [&](std::ostream& out) {
    for (size_t i = 0; i < written; ++i) {
      out.write(ranking[i].first->data(), static_cast<std::streamsize>(ranking[i].first->size()));
      out.put('\n');
    }
  });

  console.line(kCountLabel + std::to_string(written));
  console.line(kThresholdLabel + std::to_string(n));
}

}  // namespace newsclass
