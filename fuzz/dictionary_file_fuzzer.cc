// dict.dat: any bytes are loaded or refused naming the file and record, and a loaded dictionary
// saved again loads back to the same words and postings.
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  fuzz::checkLoadAndRoundTrip<Dictionary>(
      fuzz::writeScratchFile("dict.dat", fuzz::asBytes(data, size)),
      [&](Dictionary& dictionary, const std::string& path) {
        processor.loadDictionary(dictionary, path);
      },
      [&](const Dictionary& dictionary, const std::string& path) {
        processor.saveDictionary(dictionary, path);
      });
  return 0;
}
