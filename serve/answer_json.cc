#include "serve/answer_json.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "base/encoding.h"

namespace newsclass {
namespace {

using json = nlohmann::ordered_json;

// Text the model holds (GBK) as a client reads it. A byte GBK cannot read becomes U+FFFD, so
// the answer is always valid UTF-8.
std::string shown(const std::string& gbk) { return gbkToUtf8(gbk); }

json summaryOf(const ServedModel& model) {
  return {{"classifier", model.classifier()},
          {"generation", model.generation()},
          {"fingerprint", model.facts().fingerprint}};
}

std::string dumped(const json& value) {
  // Strings are written as UTF-8, not escaped; bytes that are not UTF-8 cannot reach here.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string predictAnswerJson(const ServedModel& model, const PredictRequest& request,
                              const std::vector<ModelAnswer>& answers) {
  json results = json::array();
  for (const ModelAnswer& answer : answers) {
    json result = json::object();
    result["label"] = answer.labelled ? model.categoryInUtf8(answer.category) : std::string();
    json scores = json::array();
    if (answer.labelled) {
      const size_t shownScores = request.top == 0 ? answer.scores.size()
                                                  : std::min(request.top, answer.scores.size());
      for (size_t i = 0; i < shownScores; ++i) {
        scores.push_back({{"category", model.categoryInUtf8(answer.scores[i].category)},
                          {"score", answer.scores[i].score}});
      }
    }
    result["scores"] = std::move(scores);
    if (request.neighbours) {
      json neighbours = json::array();
      for (const NeighbourEntry& neighbour : answer.neighbours) {
        neighbours.push_back({{"id", neighbour.articleId}, {"similarity", neighbour.similarity}});
      }
      result["neighbours"] = std::move(neighbours);
    }
    if (request.explain) {
      json terms = json::array();
      for (const TermContribution& term : answer.terms) {
        terms.push_back({{"term", shown(term.term)}, {"value", term.value}});
      }
      result["terms"] = std::move(terms);
    }
    results.push_back(std::move(result));
  }
  return dumped({{"model", summaryOf(model)}, {"results", std::move(results)}});
}

std::string modelSummaryJson(const ServedModel& model) { return dumped(summaryOf(model)); }

std::string modelDescriptionJson(const ServedModel& model) {
  json facts = json::object();
  for (const auto& [key, value] : model.facts().recorded) facts[shown(key)] = shown(value);
  json categories = json::array();
  for (const std::string& category : model.categories()) {
    categories.push_back(model.categoryInUtf8(category));
  }
  return dumped({{"model", summaryOf(model)}, {"facts", std::move(facts)},
                 {"categories", std::move(categories)}});
}

std::string errorJson(const std::string& message) {
  return dumped({{"error", message}});
}

}  // namespace newsclass
