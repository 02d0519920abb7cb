// What every fuzz target shares: a scratch folder of its own process to write the input into,
// a quiet environment for the processor's loaders, and the one promise each loader is held to:
// given any bytes, it either accepts them or refuses them with the project's DataFileError whose
// message starts with the file's path. Anything else (another exception, a crash, a read out of
// bounds, a hang) is a finding. The targets build with libFuzzer and, for the regression
// inputs, with the replay driver (fuzz/replay_main.cc) in the ordinary test build.
#ifndef NEWSCLASS_FUZZ_FUZZ_SUPPORT_H_
#define NEWSCLASS_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "base/errors.h"
#include "processor/corpus_processor.h"
#include "processor/environment.h"

namespace newsclass::fuzz {

// How the last checked load ended; the replay driver asks it to hold the seeds to acceptance.
enum class Outcome { kNone, kAccepted, kRefused };
Outcome lastOutcome();
void resetOutcome();

// A folder of this process under the temporary folder, made on first use and removed at exit.
const std::string& scratchFolder();

// Writes `bytes` to `name` in the scratch folder, replacing it, and returns its path.
std::string writeScratchFile(const std::string& name, std::string_view bytes);

inline std::string_view asBytes(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The T stored at `offset` of `bytes` in native byte order, or T{} where the bytes end first.
template <class T>
T fieldAt(const std::string& bytes, size_t offset);

// Gives binary cache bytes the XXH3-64 of everything before their last 8 bytes as those bytes,
// so that a loader checks what the checksum guards rather than stopping at it.
void writeChecksum(std::string& bytes);

// Loads the file at `path` with `load(Container&, path)` and holds it to the promise; a refused
// file must leave the container empty, and an accepted one, saved with `save(container, path)`
// and loaded again, must come back equal.
template <class Container, class Load, class Save>
void checkLoadAndRoundTrip(const std::string& path, Load&& load, Save&& save);

// The bytes of a file the target wrote; fails when it cannot be read.
std::string readScratchFile(const std::string& path);

// A GBK news sentence of common words, letters, digits and punctuation for segmenters to cut.
const std::string& sampleText();

// A processor over the training range 1-120 whose console and warnings go nowhere, with the
// lexicon and vector caches off and no segmenter files.
CorpusProcessor& quietProcessor();

// Ends the process with a report naming `what` (a broken promise of a loader).
[[noreturn]] void fail(const std::string& what);

// Records an accepted load.
void accepted();
// Checks a refusal: its message must start with "<path>:"; records it or fails.
void refused(const std::string& path, const std::string& message);

// Runs `load` and holds it to the promise: it returns, or throws DataFileError naming `path`.
// Every other exception travels on and ends the fuzzer as a finding.
template <class Load>
void expectAcceptedOrRefused(const std::string& path, Load&& load);

// The vector file at `path` loaded on `threads` threads by `processor`, its outcome left in
// lastOutcome().
VsmModel loadVectorsOn(CorpusProcessor& processor, const std::string& path, int threads);

// The templates declared above.

template <class Load>
void expectAcceptedOrRefused(const std::string& path, Load&& load) {
  try {
    std::forward<Load>(load)();
  } catch (const DataFileError& error) {
    refused(path, error.what());
    return;
  }
  accepted();
}

template <class T>
T fieldAt(const std::string& bytes, size_t offset) {
  T value{};
  if (offset <= bytes.size() && sizeof value <= bytes.size() - offset) {
    std::memcpy(&value, bytes.data() + offset, sizeof value);
  }
  return value;
}

template <class Container, class Load, class Save>
void checkLoadAndRoundTrip(const std::string& path, Load&& load, Save&& save) {
  Container loaded;
  expectAcceptedOrRefused(path, [&] { load(loaded, path); });
  if (lastOutcome() != Outcome::kAccepted) {
    if (!loaded.empty()) fail("a refused " + path + " left entries behind");
    return;
  }
  const std::string again = scratchFolder() + "/again";
  save(loaded, again);
  Container reloaded;
  load(reloaded, again);
  if (reloaded != loaded) fail(path + " does not load back as it was saved");
}

}  // namespace newsclass::fuzz

#endif  // NEWSCLASS_FUZZ_FUZZ_SUPPORT_H_
