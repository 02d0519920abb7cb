// The HTTP side of newsclass serve, on cpp-httplib: the routes, the limits on what a request
// may hold, the timeouts, the access log and the metrics. It answers with whatever model the
// holder has when a request arrives and knows nothing of data folders.
//
//   GET  /            the page that tries the model (serve/page.h)
//   POST /v1/predict  labels texts (serve/predict_request.h, serve/answer_json.h)
//   GET  /v1/health   200 {"status": "ready", "model": {...}} once a model is loaded, else 503
//   GET  /v1/model    model.json's facts and the categories
//   GET  /metrics     the counters in Prometheus' text format
//
// Every error is JSON, {"error": "..."}: 400 for a request the server cannot take (its body
// over the limit included), 404 for a path it does not have, 405 for a method a path does not
// take, 503 while no model is loaded, 500 when answering failed.
#ifndef NEWSCLASS_SERVE_NEWS_SERVER_H_
#define NEWSCLASS_SERVE_NEWS_SERVER_H_

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "serve/model_holder.h"
#include "serve/server_log.h"
#include "serve/server_metrics.h"

namespace httplib {
class Server;
}

namespace newsclass {

struct ServerSettings {
  std::string host = "127.0.0.1";
  int port = 8080;            // 0: any free port
  int threads = 16;           // requests served at once; an open connection holds one
  size_t maxBody = 1 << 20;   // bytes of a request body
  size_t maxTexts = 1000;     // texts of one POST /v1/predict
  double timeoutSeconds = 10; // a client that sends or takes nothing for this long is dropped
};

class NewsServer {
 public:
  NewsServer(ServerSettings settings, ModelHolder& holder, ServerMetrics& metrics,
             ServerLog& log);
  ~NewsServer();
  NewsServer(const NewsServer&) = delete;
  NewsServer& operator=(const NewsServer&) = delete;

  // Binds the address and listens; returns the port (the one chosen for port 0). Throws
  // std::runtime_error "cannot listen on HOST:PORT: <why>".
  int bind();
  // Accepts and answers connections until stop(); returns once every request in flight has
  // its answer.
  void run();
  // Stops accepting (safe from any thread); run() then drains and returns.
  void stop();

 private:
  void addRoutes();

  ServerSettings settings_;
  // run() began, run() ended, stop() was asked: a stop asked before the server listens must
  // still end it, while httplib's own stop reaches only a server that listens.
  std::atomic<bool> started_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> stopping_{false};
  ModelHolder& holder_;
  ServerMetrics& metrics_;
  ServerLog& log_;
  std::unique_ptr<httplib::Server> server_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_NEWS_SERVER_H_
