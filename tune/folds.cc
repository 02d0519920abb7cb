#include "tune/folds.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <tuple>

namespace newsclass {
namespace {

// SplitMix64's finaliser: every bit of the input moves every bit of the output, so ids that
// differ by one land far apart.
uint64_t mix(uint64_t value) {
  value += 0x9E3779B97F4A7C15ull;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

}  // namespace

std::vector<int> stratifiedFolds(const std::vector<int32_t>& ids, const std::vector<int>& classes,
                                 int folds, uint64_t seed) {
  if (folds < 2) throw std::invalid_argument("stratifiedFolds: fewer than two folds");
  if (ids.size() != classes.size()) throw std::invalid_argument("stratifiedFolds: sizes differ");
  std::map<int, std::vector<size_t>> members;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (classes[i] >= 0) members[classes[i]].push_back(i);
  }
  std::vector<int> fold(ids.size(), -1);
  const uint64_t salt = mix(seed);
  // Dealing goes on from class to class, so that the folds that got one more article of a
  // class are not the same every time: fold sizes differ by at most one overall too.
  size_t dealt = 0;
  for (auto& [c, articles] : members) {
    std::vector<std::tuple<uint64_t, int32_t, size_t>> order;
    order.reserve(articles.size());
    for (size_t i : articles) {
      order.emplace_back(mix(salt ^ static_cast<uint64_t>(static_cast<uint32_t>(ids[i]))), ids[i], i);
    }
    std::sort(order.begin(), order.end());
    for (size_t position = 0; position < order.size(); ++position) {
      fold[std::get<2>(order[position])] =
          static_cast<int>((dealt + position) % static_cast<size_t>(folds));
    }
    dealt += order.size();
  }
  return fold;
}

}  // namespace newsclass
