// The counters as GET /metrics writes them, byte for byte: requests by path and status, the
// histogram's cumulative buckets, and paths other than the server's own counted together.
#include "serve/server_metrics.h"

#include <gtest/gtest.h>

#include <string>

namespace newsclass {
namespace {

TEST(ServerMetricsTest, PrometheusTextOfAFewRequests) {
  ServerMetrics metrics;
  metrics.countRequest("/v1/predict", 200, 0.0004);
  metrics.countRequest("/v1/predict", 200, 0.003);
  metrics.countRequest("/v1/predict", 400, 0.0001);
  metrics.countRequest("/no/such/path", 404, 0.0001);
  metrics.countRequest("/../etc", 404, -1);  // failed before it was timed
  metrics.countTexts(33);
  metrics.requestStarted();
  metrics.modelLoaded(2);
  metrics.modelFailed();
  const std::string text = metrics.prometheusText();
  EXPECT_NE(text.find("newsclass_requests_total{path=\"/v1/predict\",status=\"200\"} 2\n"
                      "newsclass_requests_total{path=\"/v1/predict\",status=\"400\"} 1\n"
                      "newsclass_requests_total{path=\"other\",status=\"404\"} 2\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("newsclass_request_seconds_bucket{path=\"/v1/predict\",le=\"0.00025\"} 1\n"
                      "newsclass_request_seconds_bucket{path=\"/v1/predict\",le=\"0.0005\"} 2\n"
                      "newsclass_request_seconds_bucket{path=\"/v1/predict\",le=\"0.001\"} 2\n"
                      "newsclass_request_seconds_bucket{path=\"/v1/predict\",le=\"0.0025\"} 2\n"
                      "newsclass_request_seconds_bucket{path=\"/v1/predict\",le=\"0.005\"} 3\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("newsclass_request_seconds_bucket{path=\"/v1/predict\",le=\"+Inf\"} 3\n"
                      "newsclass_request_seconds_sum{path=\"/v1/predict\"} 0.0035\n"
                      "newsclass_request_seconds_count{path=\"/v1/predict\"} 3\n"),
            std::string::npos)
      << text;
  // The untimed request is counted but not in the histogram.
  EXPECT_NE(text.find("newsclass_request_seconds_count{path=\"other\"} 1\n"), std::string::npos);
  EXPECT_NE(text.find("\nnewsclass_texts_total 33\n"), std::string::npos);
  EXPECT_NE(text.find("\nnewsclass_requests_in_flight 1\n"), std::string::npos);
  EXPECT_NE(text.find("\nnewsclass_model_generation 2\n"), std::string::npos);
  EXPECT_NE(text.find("newsclass_model_loads_total{result=\"loaded\"} 1\n"
                      "newsclass_model_loads_total{result=\"failed\"} 1\n"),
            std::string::npos);
}

TEST(ServerMetricsTest, ABoundBelongsToItsOwnBucket) {
  ServerMetrics metrics;
  metrics.countRequest("/", 200, 0.001);
  const std::string text = metrics.prometheusText();
  EXPECT_NE(text.find("{path=\"/\",le=\"0.0005\"} 0\nnewsclass_request_seconds_bucket{path=\"/\","
                      "le=\"0.001\"} 1\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace newsclass
