// keywords.dat: any bytes are read as keywords or refused naming the file, and the keywords'
// statistics against a dictionary that holds some of them come out without fault.
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  const std::string path = fuzz::writeScratchFile("keywords.dat", fuzz::asBytes(data, size));
  std::vector<std::string> keywords;
  fuzz::expectAcceptedOrRefused(path, [&] { keywords = processor.readKeywords(path); });
  if (fuzz::lastOutcome() != fuzz::Outcome::kAccepted) return 0;
  // Every second keyword is a word of the dictionary, so that both found and missing keywords
  // are looked up.
  Dictionary dictionary;
  for (size_t i = 0; i < keywords.size(); i += 2) {
    if (keywords[i].empty()) fuzz::fail("keywords.dat gave an empty keyword");
    dictionary[keywords[i]] = {Posting{1, 2}, Posting{static_cast<int32_t>(i + 2), 1}};
  }
  const std::vector<KeywordStatistic> statistics = processor.keywordStatistics(dictionary, path);
  if (statistics.size() > keywords.size()) fuzz::fail("more statistics than keywords");
  return 0;
}
