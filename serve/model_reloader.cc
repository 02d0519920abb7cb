#include "serve/model_reloader.h"

#include <cinttypes>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include <xxhash.h>

namespace newsclass {

std::string fileFingerprint(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return "";
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016" PRIx64,
                static_cast<uint64_t>(XXH3_64bits(bytes.data(), bytes.size())));
  return hex;
}

ModelReloader::ModelReloader(ModelHolder& holder, ServerMetrics& metrics, ServerLog& log,
                             Loader loader, std::string watchedFile,
                             std::chrono::milliseconds pollInterval)
    : holder_(holder), metrics_(metrics), log_(log), loader_(std::move(loader)),
      watchedFile_(std::move(watchedFile)), pollInterval_(pollInterval) {}

ModelReloader::~ModelReloader() { stop(); }

void ModelReloader::start() {
  thread_ = std::jthread([this](std::stop_token stop) { watch(stop); });
}

void ModelReloader::requestReload() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reloadAsked_ = true;
  }
  wakeUp_.notify_all();
}

void ModelReloader::stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  wakeUp_.notify_all();
  thread_.join();
}

void ModelReloader::watch(std::stop_token stop) {
  while (!stop.stop_requested()) {
    bool asked = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wakeUp_.wait_for(lock, stop, pollInterval_, [this] { return reloadAsked_; });
      asked = reloadAsked_;
      reloadAsked_ = false;
    }
    if (stop.stop_requested()) return;
    std::erase_if(retired_, [](const std::shared_ptr<const ServedModel>& model) {
      return model.use_count() == 1;
    });
    if (asked) {
      reload(stop, "SIGHUP");
      continue;
    }
    // The file's content decides, not its time: a stage that records the same facts again
    // changes nothing the model answers with.
    const std::string fingerprint = fileFingerprint(watchedFile_);
    const std::shared_ptr<const ServedModel> current = holder_.current();
    if (fingerprint.empty() || current == nullptr || fingerprint == current->facts().fingerprint ||
        fingerprint == failedFingerprint_) {
      continue;
    }
    reload(stop, watchedFile_ + " changed");
  }
}

void ModelReloader::reload(std::stop_token stop, const std::string& why) {
  const uint64_t generation = holder_.nextGeneration();
  // A failed content is known by what the file held when the load began: a content written
  // while it loaded is another one, tried at the next look.
  const std::string attempted = fileFingerprint(watchedFile_);
  log_.note(why + ": loading model " + std::to_string(generation));
  const auto started = std::chrono::steady_clock::now();
  std::shared_ptr<ServedModel> model;
  try {
    model = loader_(stop);
  } catch (const std::exception& error) {
    failedFingerprint_ = attempted;
    metrics_.modelFailed();
    const std::shared_ptr<const ServedModel> current = holder_.current();
    log_.note("loading model " + std::to_string(generation) + " failed: " + error.what() +
              (current != nullptr
                   ? "; model " + std::to_string(current->generation()) + " keeps answering"
                   : ""));
    return;
  }
  if (model == nullptr) return;  // stopped while it waited for the folder
  failedFingerprint_.clear();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const uint64_t installed = holder_.nextGeneration();
  retired_.push_back(holder_.install(std::move(model)));
  metrics_.modelLoaded(installed);
  char took[32];
  std::snprintf(took, sizeof took, "%.2f", seconds);
  log_.note("model " + std::to_string(installed) + " loaded in " + took + " s; answering with it");
}

}  // namespace newsclass
