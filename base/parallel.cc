#include "base/parallel.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace newsclass {

void runInParallel(int threads, size_t count,
                   const std::function<void(size_t task, size_t lane)>& work) {
  if (threads <= 1 || count <= 1) {
    for (size_t task = 0; task < count; ++task) work(task, 0);
    return;
  }
  const size_t lanes = std::min(static_cast<size_t>(threads), count);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex failureMutex;
  size_t failedTask = count;
  std::exception_ptr failure;
  auto run = [&](size_t lane) {
    for (size_t task; !failed.load(std::memory_order_relaxed) && (task = next++) < count;) {
      try {
        work(task, lane);
      } catch (...) {
        std::lock_guard<std::mutex> lock(failureMutex);
        if (task < failedTask) {
          failedTask = task;
          failure = std::current_exception();
        }
        failed = true;
      }
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(lanes - 1);
  for (size_t lane = 1; lane < lanes; ++lane) helpers.emplace_back(run, lane);
  run(0);
  for (std::thread& helper : helpers) helper.join();
  if (failure) std::rethrow_exception(failure);
}

int machineThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace newsclass
