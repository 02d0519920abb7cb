#include "serve/news_server.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>
#include <utility>

#include <httplib.h>

#include "base/console.h"
#include "serve/answer_json.h"
#include "serve/page.h"
#include "serve/predict_request.h"

namespace newsclass {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kJson = "application/json";

// When the request the thread is answering began (its head read); a thread answers one
// request at a time. Zero when the request failed before it was routed.
thread_local Clock::time_point requestStart{};

void answerError(httplib::Response& response, int status, const std::string& message) {
  response.status = status;
  response.set_content(errorJson(message), kJson);
}

// The paths and the method each takes.
struct Route {
  const char* path;
  const char* method;
};
constexpr Route kRoutes[] = {{"/", "GET"},
                             {"/v1/predict", "POST"},
                             {"/v1/health", "GET"},
                             {"/v1/model", "GET"},
                             {"/metrics", "GET"}};

std::string routeList() {
  std::string list;
  const size_t count = std::size(kRoutes);
  for (size_t i = 0; i < count; ++i) {
    list += (i == 0 ? "" : i + 1 == count ? " and " : ", ");
    list += std::string(kRoutes[i].method) + " " + kRoutes[i].path;
  }
  return list;
}

// The access line of a request: peer, method and path, status, body bytes, server time and,
// for a prediction, the texts and the model's generation.
std::string accessLine(const httplib::Request& request, const httplib::Response& response,
                       double seconds) {
  char timing[32] = "-";
  if (seconds >= 0) std::snprintf(timing, sizeof timing, "%.3f ms", seconds * 1000);
  std::string line = request.remote_addr + ":" + std::to_string(request.remote_port) + " \"" +
                     escapeControlBytes(request.method, false) + " " +
                     escapeControlBytes(request.path, false) + "\" " +
                     std::to_string(response.status) + " " + std::to_string(response.body.size()) +
                     " bytes " + timing;
  const std::string texts = response.get_header_value("X-Newsclass-Texts");
  if (!texts.empty()) line += " texts " + texts;
  const std::string generation = response.get_header_value("X-Newsclass-Model");
  if (!generation.empty()) line += " model " + generation;
  return line;
}

}  // namespace

NewsServer::NewsServer(ServerSettings settings, ModelHolder& holder, ServerMetrics& metrics,
                       ServerLog& log)
    : settings_(std::move(settings)), holder_(holder), metrics_(metrics), log_(log),
      server_(std::make_unique<httplib::Server>()) {
  const size_t threads = static_cast<size_t>(settings_.threads);
  server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  const auto timeout = std::chrono::duration<double>(settings_.timeoutSeconds);
  const auto timeoutMicroseconds = std::chrono::duration_cast<std::chrono::microseconds>(timeout);
  const time_t seconds = static_cast<time_t>(timeoutMicroseconds.count() / 1000000);
  const time_t microseconds = static_cast<time_t>(timeoutMicroseconds.count() % 1000000);
  server_->set_read_timeout(seconds, microseconds);
  server_->set_write_timeout(seconds, microseconds);
  server_->set_keep_alive_timeout(std::max<time_t>(1, seconds));
  // A connection is kept for as many requests as its client sends; each costs a thread only
  // while it is open.
  server_->set_keep_alive_max_count(1000000);
  // Answers are small and go at once; waiting to fill a packet would add tens of milliseconds.
  server_->set_tcp_nodelay(true);
  server_->set_payload_max_length(settings_.maxBody);
  addRoutes();
}

NewsServer::~NewsServer() = default;

int NewsServer::bind() {
  errno = 0;
  int port = settings_.port;
  bool bound = false;
  if (port == 0) {
    port = server_->bind_to_any_port(settings_.host);
    bound = port > 0;
  } else {
    bound = server_->bind_to_port(settings_.host, port);
  }
  if (!bound) {
    const int error = errno;
    throw std::runtime_error("cannot listen on " + settings_.host + ":" +
                             std::to_string(settings_.port) + ": " +
                             (error != 0 ? std::strerror(error)
                                         : "the address is not one of this machine"));
  }
  return port;
}

void NewsServer::run() {
  started_ = true;
  if (!stopping_) server_->listen_after_bind();
  ended_ = true;
}

void NewsServer::stop() {
  stopping_ = true;
  // A run() that has begun is waited for until it listens, so that the stop reaches it; one
  // that has not begun sees stopping_ and does not listen at all.
  while (started_ && !ended_ && !server_->is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  server_->stop();
}

void NewsServer::addRoutes() {
  httplib::Server& server = *server_;
  server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    requestStart = Clock::now();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    double seconds = -1;
    if (requestStart != Clock::time_point{}) {
      seconds = std::chrono::duration<double>(Clock::now() - requestStart).count();
      requestStart = Clock::time_point{};
    }
    metrics_.countRequest(request.path, response.status, seconds);
    log_.line(accessLine(request, response, seconds));
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [this](const httplib::Request& request, httplib::Response& response) {
    if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    if (response.status == 404) {
      answerError(response, 404, "no such path: " + request.path + " (the paths are " +
                                     routeList() + ")");
    } else if (response.status == 413) {
      answerError(response, 400, "the body is longer than " + std::to_string(settings_.maxBody) +
                                     " bytes (--max-body)");
    } else {
      answerError(response, response.status,
                  "the request failed with status " + std::to_string(response.status));
    }
    return httplib::Server::HandlerResponse::Handled;
  }));
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr thrown) {
        std::string message = "answering failed";
        try {
          std::rethrow_exception(thrown);
        } catch (const std::exception& error) {
          message += std::string(": ") + error.what();
        } catch (...) {
        }
        answerError(response, 500, message);
      });

  server.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(pageHtml(), "text/html; charset=utf-8");
  });
  server.Get("/v1/health", [this](const httplib::Request&, httplib::Response& response) {
    const std::shared_ptr<const ServedModel> model = holder_.current();
    if (model == nullptr) {
      response.status = 503;
      response.set_content(R"({"status":"loading"})", kJson);
      return;
    }
    response.set_content(R"({"status":"ready","model":)" + modelSummaryJson(*model) + "}", kJson);
  });
  server.Get("/v1/model", [this](const httplib::Request&, httplib::Response& response) {
    const std::shared_ptr<const ServedModel> model = holder_.current();
    if (model == nullptr) return answerError(response, 503, "the model is still loading");
    response.set_content(modelDescriptionJson(*model), kJson);
  });
  server.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
    response.set_content(metrics_.prometheusText(), "text/plain; version=0.0.4; charset=utf-8");
  });
  server.Post("/v1/predict", [this](const httplib::Request& request, httplib::Response& response,
                                    const httplib::ContentReader& reader) {
    // The body is read here, against the limit, whatever way it comes (with a length or in
    // chunks); a body over it is not read at all, and the connection ends with the answer.
    const std::string length = request.get_header_value("Content-Length");
    const std::string tooLong =
        "the body is longer than " + std::to_string(settings_.maxBody) + " bytes (--max-body)";
    if (!length.empty()) {
      uint64_t declared = 0;
      const char* const last = length.data() + length.size();
      const auto [end, error] = std::from_chars(length.data(), last, declared);
      if (error != std::errc() || end != last || declared > settings_.maxBody) {
        response.set_header("Connection", "close");
        return answerError(response, 400,
                           error == std::errc() && end == last
                               ? tooLong
                               : "Content-Length \"" + escapeControlBytes(length, false) +
                                     "\" is not a length in bytes");
      }
    }
    std::string body;
    bool overLimit = false;
    const bool read = reader([&](const char* data, size_t size) {
      if (body.size() + size > settings_.maxBody) {
        overLimit = true;
        return false;
      }
      body.append(data, size);
      return true;
    });
    if (overLimit) {
      response.set_header("Connection", "close");
      return answerError(response, 400, tooLong);
    }
    if (!read) return answerError(response, 400, "the body could not be read");
    PredictRequest parsed;
    try {
      parsed = parsePredictRequest(body, settings_.maxTexts);
    } catch (const RequestError& error) {
      return answerError(response, 400, error.what());
    }
    const std::shared_ptr<const ServedModel> model = holder_.current();
    if (model == nullptr) return answerError(response, 503, "the model is still loading");
    if (parsed.neighbours && !model->answersByNeighbours()) {
      return answerError(response, 400, "\"neighbours\": the " + model->classifier() +
                                            " classifier has no neighbours");
    }
    if (parsed.explain && model->answersByNeighbours()) {
      return answerError(response, 400, "\"explain\": the " + model->classifier() +
                                            " classifier answers by its neighbours (ask for "
                                            "\"neighbours\")");
    }
    metrics_.requestStarted();
    struct EndOfRequest {
      ServerMetrics& metrics;
      ~EndOfRequest() { metrics.requestEnded(); }
    } ending{metrics_};
    const std::vector<ModelAnswer> answers = model->answer(parsed.texts, parsed.explain);
    metrics_.countTexts(parsed.texts.size());
    response.set_content(predictAnswerJson(*model, parsed, answers), kJson);
    response.set_header("X-Newsclass-Texts", std::to_string(parsed.texts.size()));
    response.set_header("X-Newsclass-Model", std::to_string(model->generation()));
  });
  // A known path asked with the wrong method is told which one it takes.
  for (const Route& route : kRoutes) {
    const std::string path = route.path;
    const std::string method = route.method;
    auto refuse = [path, method](const httplib::Request&, httplib::Response& response) {
      response.set_header("Allow", method);
      answerError(response, 405, path + " takes " + method);
    };
    if (method == "GET") {
      server.Post(path, refuse);
      server.Put(path, refuse);
      server.Delete(path, refuse);
    } else {
      server.Get(path, refuse);
      server.Put(path, refuse);
      server.Delete(path, refuse);
    }
  }
}

}  // namespace newsclass
