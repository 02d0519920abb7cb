// The clock behind every timing line: a steady wall clock read in whole milliseconds, so that a
// stage reports (end - start) / 1000.0 seconds as the original process clock did.
#ifndef NEWSCLASS_BASE_STAGE_CLOCK_H_
#define NEWSCLASS_BASE_STAGE_CLOCK_H_

#include <chrono>
#include <cstdint>

namespace newsclass {

class StageClock {
 public:
  StageClock() : start_(nowMilliseconds()) {}
  double elapsedSeconds() const {
    return static_cast<double>(nowMilliseconds() - start_) / 1000.0;
  }
  static int64_t nowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  int64_t start_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_STAGE_CLOCK_H_
