// dict.dat: any bytes are loaded or refused naming the file and record, and a loaded dictionary
// saved again loads back to the same words and postings.
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  const std::string path = fuzz::writeScratchFile("dict.dat", fuzz::asBytes(data, size));
  Dictionary dictionary;
  fuzz::expectAcceptedOrRefused(path, [&] { processor.loadDictionary(dictionary, path); });
  if (fuzz::lastOutcome() != fuzz::Outcome::kAccepted) {
    if (!dictionary.empty()) fuzz::fail("a refused dict.dat left words behind");
    return 0;
  }
  const std::string again = fuzz::scratchFolder() + "/again.dat";
  processor.saveDictionary(dictionary, again);
  Dictionary reloaded;
  processor.loadDictionary(reloaded, again);
  if (reloaded != dictionary) fuzz::fail("dict.dat does not load back as it was saved");
  return 0;
}
