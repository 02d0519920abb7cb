// model.json: any bytes are read as facts whose every value is one the stages write, or refused
// naming the file; facts that were accepted are written and read back unchanged.
#include <cstdint>

#include "cli/cmd_model.h"
#include "cli/provenance.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  const std::string path = fuzz::writeScratchFile("model.json", fuzz::asBytes(data, size));
  // The plain reader first: any object of strings, whatever its keys mean.
  Provenance facts;
  fuzz::expectAcceptedOrRefused(path, [&] { facts = readProvenance(path); });
  if (fuzz::lastOutcome() == fuzz::Outcome::kAccepted &&
      parseProvenance(formatProvenance(facts), path) != facts) {
    fuzz::fail("model.json facts do not read back as they were written");
  }
  // Then the strict reader of the commands, which must refuse at least what the plain one does.
  const fuzz::Outcome plain = fuzz::lastOutcome();
  fuzz::expectAcceptedOrRefused(path, [&] { readCheckedFacts(path); });
  if (plain == fuzz::Outcome::kRefused && fuzz::lastOutcome() == fuzz::Outcome::kAccepted) {
    fuzz::fail("the strict model.json reader accepted what the plain one refused");
  }
  return 0;
}
