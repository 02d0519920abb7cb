#include "base/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace newsclass {
namespace {

TEST(RunInParallelTest, EveryTaskRunsOnceAndLanesStayWithinTheThreads) {
  for (int threads : {2, 4, 7}) {
    std::vector<std::atomic<int>> runs(1000);
    std::atomic<size_t> highestLane{0};
    runInParallel(threads, runs.size(), [&](size_t task, size_t lane) {
      ++runs[task];
      size_t seen = highestLane.load();
      while (lane > seen && !highestLane.compare_exchange_weak(seen, lane)) {
      }
    });
    for (const auto& count : runs) ASSERT_EQ(count.load(), 1);
    EXPECT_LT(highestLane.load(), static_cast<size_t>(threads));
  }
}

TEST(RunInParallelTest, OneThreadRunsInOrderOnTheCallingThread) {
  std::vector<size_t> order;
  const std::thread::id caller = std::this_thread::get_id();
  bool elsewhere = false;
  runInParallel(1, 5, [&](size_t task, size_t lane) {
    order.push_back(task);
    elsewhere = elsewhere || std::this_thread::get_id() != caller || lane != 0;
  });
  EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 4}));
  EXPECT_FALSE(elsewhere);
  runInParallel(4, 0, [&](size_t, size_t) { FAIL() << "no task to run"; });
}

// Several tasks fail; the error reported is the one of the lowest task, as one thread would
// have met it first.
TEST(RunInParallelTest, TheLowestFailingTaskDecides) {
  for (int threads : {1, 3}) {
    try {
      runInParallel(threads, 200, [](size_t task, size_t) {
        if (task == 37 || task == 120 || task == 199) {
          throw std::runtime_error("task " + std::to_string(task));
        }
      });
      FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "task 37") << threads;
    }
  }
}

TEST(MachineThreadsTest, AtLeastOne) { EXPECT_GE(machineThreads(), 1); }

}  // namespace
}  // namespace newsclass
