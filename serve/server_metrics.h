// What the server counts, written in Prometheus' text format for GET /metrics: requests by path
// and status, a histogram of the time each took, the texts labelled, the requests in flight,
// the model's generation and the reloads by outcome. Every method is thread-safe.
#ifndef NEWSCLASS_SERVE_SERVER_METRICS_H_
#define NEWSCLASS_SERVE_SERVER_METRICS_H_

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace newsclass {

class ServerMetrics {
 public:
  // The histogram's upper bounds in seconds; the last bucket is +Inf.
  static constexpr std::array<double, 14> kBucketBounds = {
      0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5};
  // The same as they are written in the "le" labels.
  static constexpr std::array<const char*, 14> kBucketLabels = {
      "0.00025", "0.0005", "0.001", "0.0025", "0.005", "0.01", "0.025",
      "0.05",    "0.1",    "0.25",  "0.5",    "1",     "2.5",  "5"};

  // A request to `path` ended with `status` after `seconds` (negative: unknown, not timed).
  // Paths other than the server's own are counted together as "other", so that clients
  // cannot grow the table.
  void countRequest(const std::string& path, int status, double seconds);
  void countTexts(uint64_t texts) { texts_ += texts; }
  void requestStarted() { ++inFlight_; }
  void requestEnded() { --inFlight_; }
  int64_t inFlight() const { return inFlight_; }
  void modelLoaded(uint64_t generation) {
    generation_ = generation;
    ++reloadsLoaded_;
  }
  void modelFailed() { ++reloadsFailed_; }

  // The text GET /metrics answers with.
  std::string prometheusText() const;

 private:
  struct Timings {
    std::array<uint64_t, kBucketBounds.size() + 1> buckets{};  // not cumulative
    uint64_t count = 0;
    double sum = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, int>, uint64_t> requests_;
  std::map<std::string, Timings> timings_;
  std::atomic<uint64_t> texts_{0};
  std::atomic<int64_t> inFlight_{0};
  std::atomic<uint64_t> generation_{0};
  std::atomic<uint64_t> reloadsLoaded_{0};
  std::atomic<uint64_t> reloadsFailed_{0};
};

// The path a request is counted under: the server's own paths as they are, any other "other".
std::string countedPath(const std::string& path);

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_SERVER_METRICS_H_
