#include "serve/predict_request.h"

#include <cstdint>
#include <limits>

#include <nlohmann/json.hpp>

#include "base/encoding.h"
#include "base/fast_gbk.h"

namespace newsclass {
namespace {

using nlohmann::json;

// A request nests two levels at most; deeper input is refused as the parser meets it, so that
// a body of a million brackets costs no more than its bytes.
constexpr int kDeepestNesting = 4;

// How a value of the wrong type is named in a message.
std::string typeName(const json& value) {
  switch (value.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return "true or false";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "a list";
    case json::value_t::object: return "an object";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float: return "a number";
    default: return "something else";
  }
}

// nlohmann's messages start with "[json.exception.parse_error.101] "; the client needs the rest.
std::string withoutExceptionTag(const std::string& message) {
  const size_t end = message.find("] ");
  return message.rfind("[json.exception", 0) == 0 && end != std::string::npos
             ? message.substr(end + 2)
             : message;
}

bool readFlag(const json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end()) return false;
  if (!found->is_boolean()) {
    throw RequestError(std::string("\"") + name + "\" must be true or false, got " +
                       typeName(*found));
  }
  return found->get<bool>();
}

size_t readTop(const json& object) {
  const auto found = object.find("top");
  if (found == object.end()) return 0;
  const std::string expected = "\"top\" must be a whole number from 1 to 2147483647, got ";
  if (found->is_number_unsigned()) {
    const uint64_t top = found->get<uint64_t>();
    if (top >= 1 && top <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
      return static_cast<size_t>(top);
    }
    throw RequestError(expected + std::to_string(top));
  }
  if (found->is_number_integer()) throw RequestError(expected + std::to_string(found->get<int64_t>()));
  if (found->is_number_float()) throw RequestError(expected + found->dump());
  throw RequestError(expected + typeName(*found));
}

}  // namespace

PredictRequest parsePredictRequest(std::string_view body, size_t maxTexts) {
  const size_t invalid = invalidUtf8Offset(body);
  if (invalid != std::string_view::npos) {
    throw RequestError("the body is not valid UTF-8 (byte " + std::to_string(invalid) + ")");
  }
  json request;
  try {
    request = json::parse(body, [](int depth, json::parse_event_t, json&) {
      if (depth > kDeepestNesting) throw RequestError("the body nests deeper than a request does");
      return true;
    });
  } catch (const json::exception& error) {
    // A syntax error, or a number too large for a double ("1e999"): the body is not a
    // request's JSON either way.
    throw RequestError("the body is not JSON: " + withoutExceptionTag(error.what()));
  }
  if (!request.is_object()) {
    throw RequestError("the body must be a JSON object with \"texts\", got " + typeName(request));
  }
  for (const auto& [key, value] : request.items()) {
    if (key != "texts" && key != "top" && key != "neighbours" && key != "explain") {
      throw RequestError("unknown field \"" + key +
                         "\" (the fields are texts, top, neighbours and explain)");
    }
  }
  const auto texts = request.find("texts");
  if (texts == request.end()) throw RequestError("\"texts\" is missing: give a list of texts to label");
  if (!texts->is_array()) {
    throw RequestError("\"texts\" must be a list of strings, got " + typeName(*texts));
  }
  if (texts->empty()) throw RequestError("\"texts\" is empty: give at least one text");
  if (texts->size() > maxTexts) {
    throw RequestError("\"texts\" holds " + std::to_string(texts->size()) + " texts, more than " +
                       std::to_string(maxTexts) + " (--max-texts)");
  }
  PredictRequest parsed;
  parsed.texts.reserve(texts->size());
  for (size_t i = 0; i < texts->size(); ++i) {
    const json& text = (*texts)[i];
    if (!text.is_string()) {
      throw RequestError("\"texts\"[" + std::to_string(i) + "] must be a string, got " +
                         typeName(text));
    }
    parsed.texts.push_back(utf8ToGbkFast(text.get_ref<const std::string&>()));
  }
  parsed.top = readTop(request);
  parsed.neighbours = readFlag(request, "neighbours");
  parsed.explain = readFlag(request, "explain");
  return parsed;
}

}  // namespace newsclass
