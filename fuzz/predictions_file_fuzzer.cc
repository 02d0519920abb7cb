// predictions.dat: any bytes are loaded or refused naming the file and line, and loaded
// predictions saved again load back the same.
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "evaluation/predictions_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  fuzz::checkLoadAndRoundTrip<ClassificationResults>(
      fuzz::writeScratchFile("predictions.dat", fuzz::asBytes(data, size)),
      [](ClassificationResults& results, const std::string& path) {
        results = loadPredictions(path);
      },
      [](const ClassificationResults& results, const std::string& path) {
        savePredictions(results, path);
      });
  return 0;
}
