// predictions.dat: any bytes are loaded or refused naming the file and line, and loaded
// predictions saved again load back the same.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "knn/predictions_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  const std::string path = fuzz::writeScratchFile("predictions.dat", fuzz::asBytes(data, size));
  ClassificationResults results;
  fuzz::expectAcceptedOrRefused(path, [&] { results = loadPredictions(path); });
  if (fuzz::lastOutcome() != fuzz::Outcome::kAccepted) return 0;
  const std::string again = fuzz::scratchFolder() + "/again.dat";
  savePredictions(results, again);
  if (loadPredictions(again) != results) {
    fuzz::fail("predictions.dat does not load back as it was saved");
  }
  return 0;
}
