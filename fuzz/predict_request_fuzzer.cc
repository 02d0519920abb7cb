// The body of a POST /v1/predict as serve reads it. Whatever the bytes, the request is either
// accepted, holding one to --max-texts texts and a top within its range, or refused with a
// RequestError whose message names what is wrong; no other exception, no crash, and a body of
// deep nesting costs no more than its bytes.
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz/fuzz_support.h"
#include "serve/predict_request.h"

namespace {

constexpr size_t kMaxTexts = 50;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  const std::string body(fuzz::asBytes(data, size));
  PredictRequest request;
  try {
    request = parsePredictRequest(body, kMaxTexts);
  } catch (const RequestError& error) {
    if (std::string(error.what()).empty()) fuzz::fail("a refusal without a message");
    fuzz::refused("the body", std::string("the body: ") + error.what());
    return 0;
  }
  if (request.texts.empty() || request.texts.size() > kMaxTexts) {
    fuzz::fail("accepted " + std::to_string(request.texts.size()) + " texts");
  }
  if (request.top > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    fuzz::fail("accepted top " + std::to_string(request.top));
  }
  fuzz::accepted();
  return 0;
}
