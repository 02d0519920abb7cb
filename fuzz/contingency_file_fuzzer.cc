// contingency.dat: any bytes are loaded or refused naming the file, and a loaded table saved
// again loads back to the same cells.
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  const std::string path = fuzz::writeScratchFile("contingency.dat", fuzz::asBytes(data, size));
  ContingencyTable table;
  fuzz::expectAcceptedOrRefused(path, [&] { processor.loadContingencyTable(table, path); });
  if (fuzz::lastOutcome() != fuzz::Outcome::kAccepted) {
    if (!table.empty()) fuzz::fail("a refused contingency.dat left cells behind");
    return 0;
  }
  const std::string again = fuzz::scratchFolder() + "/again.dat";
  processor.saveContingencyTable(table, again);
  ContingencyTable reloaded;
  processor.loadContingencyTable(reloaded, again);
  if (reloaded != table) fuzz::fail("contingency.dat does not load back as it was saved");
  return 0;
}
