// The program's own rand(): the C library's sequence, per thread, and the one liblinear calls.
#include "linear/solver_random.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace newsclass {
namespace {

std::vector<int> draws(size_t count) {
  std::vector<int> values(count);
  for (int& value : values) value = std::rand();
  return values;
}

TEST(SolverRandomTest, TheSequenceIsTheCLibrarysForEverySeed) {
  // random_r with a state of its own is the C library's generator itself, not replaced.
  for (unsigned int seed : {1u, 0u, 2u, 12345u, 4294967295u}) {
    SCOPED_TRACE(seed);
    char stateBytes[128] = {};
    random_data library{};
    ASSERT_EQ(initstate_r(seed, stateBytes, sizeof stateBytes, &library), 0);
    std::srand(seed);
    for (int i = 0; i < 100000; ++i) {
      int32_t expected = 0;
      random_r(&library, &expected);
      ASSERT_EQ(std::rand(), expected) << "draw " << i;
    }
  }
  // seedSolverShuffle is srand(1).
  seedSolverShuffle();
  const std::vector<int> seeded = draws(50);
  std::srand(1);
  EXPECT_EQ(draws(50), seeded);
}

TEST(SolverRandomTest, EachThreadHasItsOwnSequenceAndLiblinearCallsThisOne) {
  std::srand(7);
  const std::vector<int> here = draws(1000);
  std::vector<int> there;
  std::thread other([&] {
    // A new thread starts as if seeded with 1, whatever this one did.
    there = draws(1000);
  });
  other.join();
  std::srand(1);
  EXPECT_EQ(there, draws(1000));
  EXPECT_NE(here, there);
  // The dynamic linker hands every library, liblinear among them, this program's rand.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "rand"), reinterpret_cast<void*>(&rand));
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "srand"), reinterpret_cast<void*>(&srand));
}

}  // namespace
}  // namespace newsclass
