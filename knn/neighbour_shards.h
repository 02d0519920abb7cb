// The neighbour search of a training model split into shards of consecutive ids (the ranks of a
// distributed run): each shard gives every testing vector its own best k, and the lists merged
// give exactly the k nearest of the whole model, in its order (similarity, highest first; ties
// in ascending id), with the same similarity bits: a similarity depends only on the two vectors.
#ifndef NEWSCLASS_KNN_NEIGHBOUR_SHARDS_H_
#define NEWSCLASS_KNN_NEIGHBOUR_SHARDS_H_

#include <string>
#include <vector>

#include "knn/knn_types.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// The first min(k, shard.size()) entries of every testing vector's ranking over `shard`, in
// ascending testing id, packed for sending; an empty shard gives every testing vector an empty
// list. The vectors must have passed the checks forEachNeighbourList asks for.
std::string shardNeighbourLists(const VsmModel& shard, const VsmModel& testingModel, int k,
                                int threads);

// Merges the shards' packed lists (one message per shard, shards in ascending id order) into
// every testing vector's k nearest, in ascending testing id: `testingCount` lists.
std::vector<std::vector<NeighbourEntry>> mergeNeighbourLists(
    const std::vector<std::string>& shardMessages, size_t testingCount, int k);

// Whether `a` ranks before `b`: the higher similarity, or the same and the lower id.
inline bool ranksBefore(const NeighbourEntry& a, const NeighbourEntry& b) {
  return a.similarity > b.similarity || (a.similarity == b.similarity && a.articleId < b.articleId);
}

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_NEIGHBOUR_SHARDS_H_
