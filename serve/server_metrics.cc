#include "serve/server_metrics.h"

#include <algorithm>

#include "base/text_utils.h"

namespace newsclass {

std::string countedPath(const std::string& path) {
  for (const char* own : {"/", "/v1/predict", "/v1/health", "/v1/model", "/metrics"}) {
    if (path == own) return path;
  }
  return "other";
}

void ServerMetrics::countRequest(const std::string& path, int status, double seconds) {
  const std::string counted = countedPath(path);
  std::lock_guard<std::mutex> lock(mutex_);
  ++requests_[{counted, status}];
  if (seconds < 0) return;
  Timings& timings = timings_[counted];
  const size_t bucket = static_cast<size_t>(
      std::lower_bound(kBucketBounds.begin(), kBucketBounds.end(), seconds) -
      kBucketBounds.begin());
  ++timings.buckets[bucket];
  ++timings.count;
  timings.sum += seconds;
}

namespace {

// A metric's HELP and TYPE lines.
void describe(std::string& text, const char* name, const char* help, const char* type) {
  text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

std::string ServerMetrics::prometheusText() const {
  std::string text;
  describe(text, "newsclass_requests_total", "Requests answered, by path and status.", "counter");
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [key, count] : requests_) {
    text += "newsclass_requests_total{path=\"" + key.first + "\",status=\"" +
            std::to_string(key.second) + "\"} " + std::to_string(count) + "\n";
  }
  describe(text, "newsclass_request_seconds",
           "Time from a request's head to its answer, by path.", "histogram");
  for (const auto& [path, timings] : timings_) {
    const std::string label = "path=\"" + path + "\"";
    uint64_t cumulative = 0;
    for (size_t i = 0; i <= kBucketBounds.size(); ++i) {
      cumulative += timings.buckets[i];
      const std::string bound = i < kBucketBounds.size() ? kBucketLabels[i] : "+Inf";
      text += "newsclass_request_seconds_bucket{" + label + ",le=\"" + bound + "\"} " +
              std::to_string(cumulative) + "\n";
    }
    text += "newsclass_request_seconds_sum{" + label + "} " + shortestDecimal(timings.sum) + "\n";
    text += "newsclass_request_seconds_count{" + label + "} " + std::to_string(timings.count) + "\n";
  }
  describe(text, "newsclass_texts_total", "Texts labelled.", "counter");
  text += "newsclass_texts_total " + std::to_string(texts_.load()) + "\n";
  describe(text, "newsclass_requests_in_flight", "Requests being answered now.", "gauge");
  text += "newsclass_requests_in_flight " + std::to_string(inFlight_.load()) + "\n";
  describe(text, "newsclass_model_generation",
           "The generation of the model answering (0: none yet).", "gauge");
  text += "newsclass_model_generation " + std::to_string(generation_.load()) + "\n";
  describe(text, "newsclass_model_loads_total", "Model loads, by outcome.", "counter");
  text += "newsclass_model_loads_total{result=\"loaded\"} " + std::to_string(reloadsLoaded_.load()) +
          "\n";
  text += "newsclass_model_loads_total{result=\"failed\"} " + std::to_string(reloadsFailed_.load()) +
          "\n";
  return text;
}

}  // namespace newsclass
