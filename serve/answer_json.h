// The server's answers as JSON text (UTF-8): the model a response came from and the results of
// a POST /v1/predict, the model's description for GET /v1/model, and an error's body.
#ifndef NEWSCLASS_SERVE_ANSWER_JSON_H_
#define NEWSCLASS_SERVE_ANSWER_JSON_H_

#include <string>
#include <vector>

#include "models/model.h"
#include "serve/predict_request.h"
#include "serve/served_model.h"

namespace newsclass {

// {"model": {...}, "results": [{"label": "...", "scores": [{"category": "...", "score": S},
// ...]}, ...]}: one result per text in order. "scores" holds the answer's scores best first, the
// request's "top" of them when it gives one; an unlabelled text has label "" and no scores.
// "neighbours" ({"id", "similarity"}) and "terms" ({"term", "value"}) are added when asked.
// Scores are written in the shortest form that reads back as the same double.
std::string predictAnswerJson(const ServedModel& model, const PredictRequest& request,
                              const std::vector<ModelAnswer>& answers);

// {"classifier": "...", "generation": N, "fingerprint": "..."}: which model answered.
std::string modelSummaryJson(const ServedModel& model);

// {"model": {summary}, "facts": {model.json's facts}, "categories": [...]}.
std::string modelDescriptionJson(const ServedModel& model);

// {"error": "<message>"}.
std::string errorJson(const std::string& message);

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_ANSWER_JSON_H_
