// The body of a POST /v1/predict, read and checked: a JSON object
//   {"texts": ["...", ...], "top": 3, "neighbours": false, "explain": false}
// with the texts in UTF-8. Anything else is refused with a message that names what is wrong, so
// that the client can mend its request; nothing of a refused request reaches the model.
#ifndef NEWSCLASS_SERVE_PREDICT_REQUEST_H_
#define NEWSCLASS_SERVE_PREDICT_REQUEST_H_

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

// A request the server refuses with status 400 and {"error": what()}.
class RequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PredictRequest {
  std::vector<std::string> texts;  // GBK, as the model reads text
  size_t top = 0;                  // the best N categories with scores; 0: every score it has
  bool neighbours = false;         // list the KNN's neighbours
  bool explain = false;            // list the terms that weighed most (linear models)
};

// Reads `body`. RequestError when it is not valid UTF-8, not JSON, not an object, holds a field
// other than the four, when "texts" is missing, not a list of strings, empty or longer than
// `maxTexts`, when "top" is not a whole number from 1 to 2147483647, or "neighbours" or
// "explain" not true or false.
PredictRequest parsePredictRequest(std::string_view body, size_t maxTexts);

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_PREDICT_REQUEST_H_
