#include "linear/solver_random.h"

#include <cstdint>
#include <cstdlib>

namespace newsclass {
namespace {

// The GNU C library's default generator (random(3), TYPE_3): an additive feedback generator
// x[i] = x[i-31] + x[i-3] (mod 2^32) over 31 words seeded by a Lehmer sequence, the first 310
// outputs discarded, each output x[i] >> 1.
class AdditiveFeedback {
 public:
  explicit AdditiveFeedback(unsigned int seed) { reseed(seed); }

  void reseed(unsigned int seed) {
    int32_t word = seed == 0 ? 1 : static_cast<int32_t>(seed);
    state_[0] = word;
    for (int i = 1; i < kDegree; ++i) {
      // 16807 * word mod (2^31 - 1), by Schrage's method as the C library computes it.
      const int32_t hi = word / 127773;
      const int32_t lo = word % 127773;
      word = 16807 * lo - 2836 * hi;
      if (word < 0) word += 2147483647;
      state_[i] = word;
    }
    front_ = kSeparation;
    rear_ = 0;
    for (int i = 0; i < kDegree * 10; ++i) next();
  }

  int next() {
    const uint32_t value = static_cast<uint32_t>(state_[front_]) + static_cast<uint32_t>(state_[rear_]);
    state_[front_] = static_cast<int32_t>(value);
    front_ = front_ + 1 == kDegree ? 0 : front_ + 1;
    rear_ = rear_ + 1 == kDegree ? 0 : rear_ + 1;
    return static_cast<int>(value >> 1);
  }

 private:
  static constexpr int kDegree = 31;
  static constexpr int kSeparation = 3;
  int32_t state_[kDegree];
  int front_ = kSeparation;
  int rear_ = 0;
};

// Every thread starts as the C library's rand() does: as if seeded with 1.
thread_local AdditiveFeedback threadSequence(1);

}  // namespace

void seedSolverShuffle() { threadSequence.reseed(1); }

}  // namespace newsclass

// The process's rand() and srand(), per thread.
extern "C" int rand() noexcept { return newsclass::threadSequence.next(); }
extern "C" void srand(unsigned int seed) noexcept { newsclass::threadSequence.reseed(seed); }
