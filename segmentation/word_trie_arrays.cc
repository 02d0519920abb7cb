// Saving and restoring a WordTrie's arrays as they lie in memory, and the checks that make a
// restored trie safe to walk whatever bytes it was given.
#include <type_traits>

#include "segmentation/lexicon.h"

namespace newsclass {
namespace {

template <class T>
std::span<const std::byte> bytesOf(const std::vector<T>& array) {
  static_assert(std::has_unique_object_representations_v<T>);
  return std::as_bytes(std::span<const T>(array));
}

template <class T>
std::span<std::byte> writableBytesOf(std::vector<T>& array) {
  static_assert(std::has_unique_object_representations_v<T>);
  return std::as_writable_bytes(std::span<T>(array));
}

}  // namespace

std::array<std::span<const std::byte>, 4> WordTrie::arrays() const {
  static_assert(sizeof(Node) == 8);
  return {bytesOf(roots_), bytesOf(nodes_), bytesOf(codes_), std::as_bytes(std::span(values_))};
}

std::array<std::span<std::byte>, 4> WordTrie::prepareRestore(size_t nodeCount, size_t wordCount) {
  roots_.assign(65536, kNone);
  nodes_.assign(nodeCount, Node());
  codes_.assign(nodeCount, 0);
  values_.assign(nodeCount, 0.0);
  wordCount_ = wordCount;
  return {writableBytesOf(roots_), writableBytesOf(nodes_), writableBytesOf(codes_),
          std::as_writable_bytes(std::span(values_))};
}

bool WordTrie::restored() const {
  const uint64_t count = nodes_.size();
  if (roots_.size() != 65536 || count == 0 || count > UINT32_MAX || codes_.size() != count ||
      values_.size() != count) {
    return false;
  }
  const Node& sentinel = nodes_[0];
  if (sentinel.firstChild != 0 || sentinel.childCount != 0 || sentinel.flags != 0 ||
      sentinel.unused != 0 || codes_[0] != 0) {
    return false;
  }
  for (uint32_t unit = 0; unit < 65536; ++unit) {
    const uint32_t root = roots_[unit];
    if (root >= count || (root != kNone && codes_[root] != unit)) return false;
  }
  uint64_t words = 0;
  for (uint64_t i = 1; i < count; ++i) {
    const Node& node = nodes_[i];
    if ((node.flags & ~(kWord | kForced)) != 0 || node.unused != 0) return false;
    if (node.flags & kWord) ++words;
    if (node.childCount == 0) continue;
    if (node.firstChild == kNone || uint64_t{node.firstChild} + node.childCount > count) {
      return false;
    }
    for (uint32_t c = 1; c < node.childCount; ++c) {
      if (codes_[node.firstChild + c - 1] >= codes_[node.firstChild + c]) return false;
    }
  }
  return words == wordCount_;
}

}  // namespace newsclass
