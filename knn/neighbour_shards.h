// The neighbour search of a training model split into shards of consecutive ids (the ranks of a
// distributed run): each shard gives every testing vector its own best k, and the lists merged
// give exactly the k nearest of the whole model, in its order (similarity, highest first; ties
// in ascending id), with the same similarity bits: a similarity depends only on the two vectors.
#ifndef NEWSCLASS_KNN_NEIGHBOUR_SHARDS_H_
#define NEWSCLASS_KNN_NEIGHBOUR_SHARDS_H_

#include <string>
#include <vector>

#include "base/stage_environment.h"
#include "corpusdb/category_list.h"
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

// KNN over the ranks of an MPI job (base/cluster.h), each holding `trainingShare`, its share of
// consecutive ids of the training model, and every testing vector: each rank finds each testing
// vector's k nearest in its share, rank 0 merges the lists and votes as knnClassifyTestSet does
// (`trainingIds`, on rank 0: every training id, ascending; `trainingTotal`: their number, which
// k may not exceed). The predictions come back on rank 0, none on the other ranks. Alone, it
// is knnClassifyTestSet over the share.
ClassificationResults knnClassifyAcrossRanks(const StageEnvironment& environment,
                                             bool similarityVote, const std::string& tableName,
                                             const VsmModel& trainingShare,
                                             const std::vector<int32_t>& trainingIds,
                                             size_t trainingTotal, size_t dimension,
                                             const VsmModel& testingModel,
                                             const CategoryList& categories, int k,
                                             const WeightVector* keywordless);

// The consecutive share of `model`'s vectors this rank keeps, the others erased.
void keepOwnShare(VsmModel& model);

// Whether `a` ranks before `b`: the higher similarity, or the same and the lower id.
inline bool ranksBefore(const NeighbourEntry& a, const NeighbourEntry& b) {
  return a.similarity > b.similarity || (a.similarity == b.similarity && a.articleId < b.articleId);
}

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_NEIGHBOUR_SHARDS_H_
