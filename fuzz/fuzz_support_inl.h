// The template half of fuzz_support.h.
#ifndef NEWSCLASS_FUZZ_FUZZ_SUPPORT_INL_H_
#define NEWSCLASS_FUZZ_FUZZ_SUPPORT_INL_H_

#include <cstring>
#include <utility>

#include "base/errors.h"

namespace newsclass::fuzz {

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

#endif  // NEWSCLASS_FUZZ_FUZZ_SUPPORT_INL_H_
