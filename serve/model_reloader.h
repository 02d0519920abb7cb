// Reloads the served model while the server answers: when asked (SIGHUP) or when the content of
// the watched file (the data folder's model.json) changes, a new model is loaded beside the one
// answering and installed once it loaded; a model that fails to load is reported and the old
// one keeps answering. A content that failed is not tried again until it changes once more or
// a reload is asked for. A replaced model is taken down on the reloader's thread once the last
// request that holds it is done.
#ifndef NEWSCLASS_SERVE_MODEL_RELOADER_H_
#define NEWSCLASS_SERVE_MODEL_RELOADER_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "serve/model_holder.h"
#include "serve/server_log.h"
#include "serve/server_metrics.h"
#include "serve/served_model.h"

namespace newsclass {

// The fingerprint of a file's bytes (16 hex digits of their XXH3-64), as ServedModelFacts keeps
// it; empty when the file cannot be read.
std::string fileFingerprint(const std::string& path);

class ModelReloader {
 public:
  // Loads a model (throwing what went wrong) or returns null when `stop` was requested while
  // it waited.
  using Loader = std::function<std::shared_ptr<ServedModel>(std::stop_token stop)>;

  ModelReloader(ModelHolder& holder, ServerMetrics& metrics, ServerLog& log, Loader loader,
                std::string watchedFile, std::chrono::milliseconds pollInterval);
  ~ModelReloader();

  // Starts watching on a thread of its own.
  void start();
  // Asks for a reload whatever the file holds (safe from any thread).
  void requestReload();
  // Stops watching and waits for the thread, cancelling a load that waits for the folder.
  void stop();

 private:
  void watch(std::stop_token stop);
  void reload(std::stop_token stop, const std::string& why);

  ModelHolder& holder_;
  ServerMetrics& metrics_;
  ServerLog& log_;
  Loader loader_;
  std::string watchedFile_;
  std::chrono::milliseconds pollInterval_;
  std::mutex mutex_;
  std::condition_variable_any wakeUp_;
  bool reloadAsked_ = false;
  std::string failedFingerprint_;  // the content whose load failed last
  // Models replaced by a reload, kept until no request holds them, then taken down here.
  std::vector<std::shared_ptr<const ServedModel>> retired_;
  std::jthread thread_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_MODEL_RELOADER_H_
