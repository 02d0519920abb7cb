// Wall time and the process's processor time of one benchmark step: on a busy machine the second
// tells what one core needs.
#ifndef NEWSCLASS_BENCH_STOPWATCH_H_
#define NEWSCLASS_BENCH_STOPWATCH_H_

#include <time.h>

#include <chrono>
#include <cstdio>

namespace newsclass::bench {

struct Stopwatch {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu = cpuSeconds();

  static double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }
  double wallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
  double cpuSecondsSince() const { return cpuSeconds() - cpu; }
  // "<step>  wall 1.234 s   cpu 1.234 s"
  void report(const char* step) const {
    std::printf("%-34s wall %7.3f s   cpu %7.3f s\n", step, wallSeconds(), cpuSecondsSince());
  }
};

}  // namespace newsclass::bench

#endif  // NEWSCLASS_BENCH_STOPWATCH_H_
