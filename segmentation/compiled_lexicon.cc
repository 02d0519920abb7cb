#include "segmentation/compiled_lexicon.h"

#include <cmath>
#include <limits>
#include <vector>

namespace newsclass {

std::shared_ptr<CompiledLexicon> compileLexicon(std::string_view wordListBytes) {
  WordEntries entries;
  parseWordList(wordListBytes, true, entries);
  if (entries.entries.empty()) return nullptr;
  std::vector<double> frequencies(entries.entries.size());
  for (size_t i = 0; i < frequencies.size(); ++i) frequencies[i] = entries.entries[i].frequency;
  auto lexicon = std::make_shared<CompiledLexicon>();
  // The trie keeps the last frequency of a word listed twice; the total counts each word once.
  lexicon->words = WordTrie(entries, frequencies);
  double total = 0;
  double minFrequency = std::numeric_limits<double>::infinity();
  double maxFrequency = 0;
  lexicon->words.forEachValue([&](double& frequency) {
    total += frequency;
    if (frequency < minFrequency) minFrequency = frequency;
    if (frequency > maxFrequency) maxFrequency = frequency;
  });
  lexicon->words.forEachValue([&](double& value) { value = std::log(value / total); });
  lexicon->total = total;
  lexicon->minLogProbability = std::log(minFrequency / total);
  lexicon->maxLogProbability = std::log(maxFrequency / total);
  return lexicon;
}

}  // namespace newsclass
