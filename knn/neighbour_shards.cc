#include "knn/neighbour_shards.h"

#include <algorithm>
#include <stdexcept>

#include "base/byte_message.h"
#include "base/cluster.h"
#include "base/stage_clock.h"
#include "corpusdb/queries.h"
#include "knn/category_check.h"
#include "knn/neighbour_vote.h"
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

ClassificationResults knnClassifyAcrossRanks(const StageEnvironment& environment,
                                             bool similarityVote, const std::string& tableName,
                                             const VsmModel& trainingShare,
                                             const std::vector<int32_t>& trainingIds,
                                             size_t trainingTotal, size_t dimension,
                                             const VsmModel& testingModel,
                                             const CategoryList& categories, int k,
                                             const WeightVector* keywordless) {
  StageClock clock;
  const bool root = cluster::rank() == 0;
  if (root) {
    checkKnnRequest(k, categories, trainingTotal);
    checkTableName(tableName);
    for (const auto& [id, vector] : testingModel) {
      checkTestingVector(testingArticleName(id), vector, dimension);
    }
  }
  if (!trainingShare.empty()) checkTrainingModel(trainingShare);
  std::string own = shardNeighbourLists(trainingShare, testingModel, k, environment.threads);
  if (!root) {
    cluster::gatherToRoot(std::move(own), {});
    return {};
  }
  std::vector<std::string> shards;
  shards.push_back(std::move(own));
  cluster::gatherToRoot("", [&](int, std::string bytes) { shards.push_back(std::move(bytes)); });
  const std::vector<std::vector<NeighbourEntry>> merged =
      mergeNeighbourLists(shards, testingModel.size(), k);
  shards.clear();
  ClassificationResults results;
  voteOnNeighbourLists(
      environment, similarityVote, tableName, trainingIds, testingModel, categories,
      [&](const NeighbourVisitor& visit) {
        size_t position = 0;
        for (const auto& entry : testingModel) visit(entry.first, merged[position++]);
      },
      results, keywordless, clock);
  return results;
}

void keepOwnShare(VsmModel& model) {
  if (!cluster::distributed()) return;
  const ArticleRange share =
      cluster::ownShareOf({0, static_cast<int32_t>(model.size()) - 1});
  auto first = model.begin();
  std::advance(first, share.firstId);
  auto last = first;
  std::advance(last, share.size());
  model.erase(last, model.end());
  model.erase(model.begin(), first);
}

}  // namespace newsclass
