// The template half of fuzz_support.h.
#ifndef NEWSCLASS_FUZZ_FUZZ_SUPPORT_INL_H_
#define NEWSCLASS_FUZZ_FUZZ_SUPPORT_INL_H_

#include <utility>

#include "driver/errors.h"

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

}  // namespace newsclass::fuzz

#endif  // NEWSCLASS_FUZZ_FUZZ_SUPPORT_INL_H_
