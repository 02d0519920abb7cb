// The binary form of trainingVSM.dat and testingVSM.dat: any payload, given a right checksum so
// that the record checks behind it see the input, is loaded or refused naming the file, the
// same on one thread as on three; a loaded model saved in binary form loads as the same
// doubles and saves to the same bytes again.
#include <bit>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "vsm/vector_file.h"

namespace {

bool sameBits(const newsclass::VsmModel& a, const newsclass::VsmModel& b) {
  if (a.size() != b.size()) return false;
  for (auto x = a.begin(), y = b.begin(); x != a.end(); ++x, ++y) {
    if (x->first != y->first || x->second.size() != y->second.size()) return false;
    for (size_t i = 0; i < x->second.size(); ++i) {
      if (std::bit_cast<uint64_t>(x->second[i]) != std::bit_cast<uint64_t>(y->second[i])) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  CorpusProcessor& processor = fuzz::quietProcessor();
  std::string bytes(fuzz::asBytes(data, size));
  fuzz::writeChecksum(bytes);
  const std::string path = fuzz::writeScratchFile("trainingVSM.dat", bytes);
  const VsmModel threaded = fuzz::loadVectorsOn(processor, path, 3);
  const fuzz::Outcome threadedOutcome = fuzz::lastOutcome();
  const VsmModel model = fuzz::loadVectorsOn(processor, path, 1);
  if (fuzz::lastOutcome() != threadedOutcome || !sameBits(threaded, model)) {
    fuzz::fail("a binary vector file loads differently on one thread and on three");
  }
  if (fuzz::lastOutcome() != fuzz::Outcome::kAccepted) {
    if (!model.empty()) fuzz::fail("a refused vector file left vectors behind");
    return 0;
  }
  const std::string once = fuzz::scratchFolder() + "/once.bin";
  const std::string twice = fuzz::scratchFolder() + "/twice.bin";
  saveVsm(processor.environment(), model, once, VectorFormat::kBinary);
  VsmModel reloaded;
  processor.loadVsm(reloaded, once);
  if (!sameBits(reloaded, model)) fuzz::fail("a binary vector file saved and loaded changed a weight");
  saveVsm(processor.environment(), reloaded, twice, VectorFormat::kBinary);
  if (fuzz::readScratchFile(once) != fuzz::readScratchFile(twice)) {
    fuzz::fail("a binary vector file saved, loaded and saved again changed its bytes");
  }
  return 0;
}
