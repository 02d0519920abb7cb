// contingency.dat: any bytes are loaded or refused naming the file, and a loaded table saved
// again loads back to the same cells.
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  fuzz::checkLoadAndRoundTrip<ContingencyTable>(
      fuzz::writeScratchFile("contingency.dat", fuzz::asBytes(data, size)),
      [&](ContingencyTable& table, const std::string& path) {
        processor.loadContingencyTable(table, path);
      },
      [&](const ContingencyTable& table, const std::string& path) {
        processor.saveContingencyTable(table, path);
      });
  return 0;
}
