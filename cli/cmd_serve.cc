// serve: the data folder's model behind an HTTP endpoint (serve/news_server.h). The model is
// loaded once and kept; SIGHUP, or a change of model.json, loads the folder's model again beside
// it and swaps; SIGTERM or SIGINT stops accepting, lets the requests in flight finish and ends
// with exit 0. The server's lines and one access line per request go to standard error.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

#include "base/errors.h"
#include "cli/cmd_model.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "cli/recorded_model.h"
#include "corpusdb/queries.h"
#include "knn/category_check.h"
#include "serve/model_holder.h"
#include "serve/model_reloader.h"
#include "serve/news_server.h"
#include "serve/server_log.h"
#include "serve/server_metrics.h"
#include "serve/served_model.h"

namespace newsclass {
namespace {

// How often model.json is looked at for a change.
constexpr std::chrono::milliseconds kWatchInterval{1000};

// Loads the data folder's model as predict would, with its segmenter's start-up lines and the
// loading lines handed to `log` as one block, and working memory for `requestsAtOnce`.
std::shared_ptr<ServedModel> loadFolderModel(RunContext& context, ServerLog& log,
                                             size_t requestsAtOnce) {
  ModelFiles files = dataFolderModelFiles(context);
  context.requireDataFolder();
  ServedModelFacts facts;
  facts.fingerprint = fileFingerprint(context.dataPath(kModelFactsFile));
  const ModelDescription description = recordedModel(context, ModelChoices{}, std::move(files));
  for (const auto& [key, value] : readModelFacts(context)) facts.recorded.emplace_back(key, value);
  std::ostringstream lines;
  Console console(lines, context.console().encoding(), true);
  StageEnvironment environment = context.environment();
  environment.console = &console;
  environment.progress = nullptr;
  const auto flushLines = [&] {
    std::string text = lines.str();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    while (!text.empty() && text.front() == '\n') text.erase(0, 1);
    if (!text.empty()) log.line(text);
  };
  try {
    checkCategoriesInTable(environment, description.categories, kTrainingCorpusTable);
    auto model = std::make_shared<ServedModel>(description, environment, std::move(facts));
    model->keepSpareScratch(requestsAtOnce);
    flushLines();
    return model;
  } catch (...) {
    flushLines();
    throw;
  }
}

// The signals serve answers, taken by a thread of its own: they are blocked everywhere else
// (the server's threads inherit the mask).
class ServerSignals {
 public:
  ServerSignals() {
    sigemptyset(&set_);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set_, signal);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~ServerSignals() {
    stop();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

  // Calls `hangUp` on SIGHUP and `terminate` (once) on SIGTERM or SIGINT, with its name.
  void start(std::function<void()> hangUp, std::function<void(const char*)> terminate) {
    thread_ = std::jthread([this, hangUp, terminate](std::stop_token stop) {
      const timespec wait{0, 200 * 1000 * 1000};
      while (!stop.stop_requested()) {
        const int signal = sigtimedwait(&set_, nullptr, &wait);
        if (signal == SIGHUP) {
          hangUp();
        } else if (signal == SIGTERM || signal == SIGINT) {
          terminate(signal == SIGTERM ? "SIGTERM" : "SIGINT");
          return;
        }
      }
    });
  }
  void stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
  }

 private:
  sigset_t set_;
  sigset_t previous_;
  std::jthread thread_;
};

int runServe(RunContext& context, const ServerSettings& settings, DataFolderLock& folder) {
  ServerLog log(context.errors());
  const size_t threads = static_cast<size_t>(settings.threads);
  ServerMetrics metrics;
  ModelHolder holder;
  ServerSignals signals;
  NewsServer server(settings, holder, metrics, log);
  const int port = server.bind();
  log.note("listening on http://" + settings.host + ":" + std::to_string(port) + " (" +
           std::to_string(settings.threads) + " threads); the model is loading");
  std::thread serving([&server] { server.run(); });
  // However serve ends, the server stops and its thread is joined.
  struct StopServing {
    NewsServer& server;
    std::thread& serving;
    ~StopServing() {
      server.stop();
      if (serving.joinable()) serving.join();
    }
  } stopServing{server, serving};

  const auto started = std::chrono::steady_clock::now();
  std::shared_ptr<ServedModel> first;
  try {
    first = loadFolderModel(context, log, threads);
  } catch (...) {
    log.note("the model could not be loaded; stopping");
    throw;
  }
  folder.release();
  const uint64_t generation = holder.nextGeneration();
  holder.install(std::move(first));
  metrics.modelLoaded(generation);
  char took[32];
  std::snprintf(took, sizeof took, "%.2f",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  log.note("model " + std::to_string(generation) + " loaded in " + took + " s; ready");

  const std::string dataFolder = context.options().dataDir;
  ModelReloader reloader(
      holder, metrics, log,
      [&context, &log, dataFolder, threads](std::stop_token stop) -> std::shared_ptr<ServedModel> {
        // Loaded under the folder's shared lock, so that no writer is halfway through its
        // files; a stop while a writer holds it gives up.
        const auto asked = std::chrono::steady_clock::now();
        std::optional<DataFolderLock> lock;
        while (!(lock = DataFolderLock::tryAcquire(dataFolder, DataFolderAccess::kRead))) {
          if (stop.stop_requested()) return nullptr;
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
        if (waited >= 0.1) {
          char seconds[32];
          std::snprintf(seconds, sizeof seconds, "%.2f", waited);
          log.note(std::string("waited ") + seconds +
                   " s for another newsclass run to finish writing the data folder");
        }
        return loadFolderModel(context, log, threads);
      },
      context.dataPath(kModelFactsFile), kWatchInterval);
  reloader.start();
  signals.start([&reloader] { reloader.requestReload(); },
                [&server, &metrics, &log](const char* name) {
                  log.note(std::string(name) + ": no new connections; answering the " +
                           std::to_string(metrics.inFlight()) + " requests in flight");
                  server.stop();
                });
  serving.join();
  reloader.stop();
  signals.stop();
  log.note("stopped");
  return 0;
}

}  // namespace

void addServeCommand(CLI::App& app, CommandSet& commands) {
  auto [command, server] = commands.add<ServerSettings>(
      app, "serve",
      R"(Serve the data folder's model over HTTP: POST /v1/predict labels texts given as JSON,
{"texts": ["...", ...], "top": N, "neighbours": false, "explain": false}, with the
same answers predict gives for the same lines; GET / is a page to try it, GET
/v1/health, /v1/model and /metrics say how it goes. The model is loaded as predict
loads it (model.json decides). SIGHUP, or a change of model.json, loads the folder's
model again beside the one answering and swaps once it loaded (a model that fails to
load is reported and the old one stays); SIGTERM stops accepting, answers the requests
in flight and exits 0. One access line per request goes to standard error. It listens
on the loopback address unless --host says otherwise: --host 0.0.0.0 opens the model
to every machine that reaches this one.)",
      FolderUse::kRead, runServe);
  command.add_option("--host", server.host, "Address to listen on")->capture_default_str();
  command.add_option("--port", server.port, "Port to listen on (0: any free port, shown on "
                                            "standard error)")
      ->check(wholeNumber(0, 65535))
      ->capture_default_str();
  command.add_option("--threads", server.threads,
                     "Requests answered at once; an open connection holds one")
      ->check(wholeNumber(1, 4096))
      ->capture_default_str();
  command.add_option("--max-body", server.maxBody, "Longest request body in bytes")
      ->check(wholeNumber(1, int64_t{1} << 30))
      ->capture_default_str();
  command.add_option("--max-texts", server.maxTexts, "Most texts in one request")
      ->check(wholeNumber(1, 1000000))
      ->capture_default_str();
  command
      .add_option("--timeout", server.timeoutSeconds,
                  "Seconds a client may send or take nothing before it is dropped")
      ->check(positiveDecimalNumber("--timeout: expected a number of seconds greater than 0"))
      ->capture_default_str();
}

}  // namespace newsclass
