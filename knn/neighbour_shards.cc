#include "knn/neighbour_shards.h"

#include <algorithm>
#include <stdexcept>

#include "base/byte_message.h"
#include "knn/test_set_run.h"

namespace newsclass {

std::string shardNeighbourLists(const VsmModel& shard, const VsmModel& testingModel, int k,
                                int threads) {
  MessageWriter message;
  message.put<uint64_t>(testingModel.size());
  if (shard.empty()) {
    for (size_t i = 0; i < testingModel.size(); ++i) message.put<uint32_t>(0);
    return std::move(message.bytes());
  }
  const int shardK = static_cast<int>(std::min<size_t>(static_cast<size_t>(k), shard.size()));
  forEachNeighbourList(
      shard, testingModel, shardK,
      [&](int32_t, const std::vector<NeighbourEntry>& neighbours) {
        message.put<uint32_t>(static_cast<uint32_t>(neighbours.size()));
        for (const NeighbourEntry& entry : neighbours) {
          message.put<int32_t>(entry.articleId);
          message.put<double>(entry.similarity);
        }
      },
      threads);
  return std::move(message.bytes());
}

std::vector<std::vector<NeighbourEntry>> mergeNeighbourLists(
    const std::vector<std::string>& shardMessages, size_t testingCount, int k) {
  std::vector<MessageReader> readers;
  for (const std::string& bytes : shardMessages) {
    readers.emplace_back(bytes);
    if (readers.back().get<uint64_t>() != testingCount) {
      throw std::runtime_error("a rank's neighbour lists cover another testing set");
    }
  }
  std::vector<std::vector<NeighbourEntry>> merged(testingCount);
  std::vector<NeighbourEntry> pooled;
  for (size_t t = 0; t < testingCount; ++t) {
    pooled.clear();
    for (MessageReader& reader : readers) {
      const uint32_t count = reader.get<uint32_t>();
      for (uint32_t i = 0; i < count; ++i) {
        NeighbourEntry entry;
        entry.articleId = reader.get<int32_t>();
        entry.similarity = reader.get<double>();
        pooled.push_back(entry);
      }
    }
    // Each shard's list is already in rank order; the k best of all of them in that order.
    const size_t keep = std::min(pooled.size(), static_cast<size_t>(k));
    std::partial_sort(pooled.begin(), pooled.begin() + static_cast<std::ptrdiff_t>(keep),
                      pooled.end(), ranksBefore);
    merged[t].assign(pooled.begin(), pooled.begin() + static_cast<std::ptrdiff_t>(keep));
  }
  return merged;
}

}  // namespace newsclass
