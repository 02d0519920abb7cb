// trainingVSM.dat and testingVSM.dat: any bytes are loaded or refused naming the file, the
// same on one thread as on three (the reader parses blocks of the file on its threads), and a
// loaded model, saved and loaded again, saves to the same bytes (writing rounds the weights it
// was given once; a second pass changes nothing).
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  const std::string path = fuzz::writeScratchFile("trainingVSM.dat", fuzz::asBytes(data, size));
  const VsmModel threaded = fuzz::loadVectorsOn(processor, path, 3);
  const fuzz::Outcome threadedOutcome = fuzz::lastOutcome();
  const VsmModel model = fuzz::loadVectorsOn(processor, path, 1);
  if (fuzz::lastOutcome() != threadedOutcome || threaded != model) {
    fuzz::fail("a vector file loads differently on one thread and on three");
  }
  if (fuzz::lastOutcome() != fuzz::Outcome::kAccepted) {
    if (!model.empty()) fuzz::fail("a refused vector file left vectors behind");
    return 0;
  }
  const std::string once = fuzz::scratchFolder() + "/once.dat";
  const std::string twice = fuzz::scratchFolder() + "/twice.dat";
  processor.saveVsm(model, once);
  VsmModel reloaded;
  processor.loadVsm(reloaded, once);
  if (reloaded.size() != model.size()) fuzz::fail("a saved vector file lost vectors");
  processor.saveVsm(reloaded, twice);
  if (fuzz::readScratchFile(once) != fuzz::readScratchFile(twice)) {
    fuzz::fail("a vector file saved, loaded and saved again changed its bytes");
  }
  return 0;
}
