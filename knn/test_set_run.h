// The neighbour search of a whole testing model: the neighbours of each testing article, found
// through the training model's neighbour index, are handed on in ascending testing id.
// knnClassifyTestSet votes on them; the benchmark times the search alone.
#ifndef NEWSCLASS_KNN_TEST_SET_RUN_H_
#define NEWSCLASS_KNN_TEST_SET_RUN_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/stage_clock.h"
#include "base/stage_environment.h"
#include "corpusdb/category_list.h"
#include "knn/knn_types.h"
#include "vsm/vsm_model.h"

namespace newsclass {

using NeighbourVisitor = std::function<void(int32_t testingId, const std::vector<NeighbourEntry>&)>;

// Calls `visit` once per testing vector, in ascending id, with its k nearest training articles in
// rank order: the first k entries of the ranking that rankNeighbours gives, with the same
// similarity values bit for bit. The models must have passed checkTrainingModel and
// checkTestingVector, and k must lie between 1 and the number of training vectors. The lists are
// found on `threads` threads; they, and the order of the calls, do not depend on the number.
void forEachNeighbourList(const VsmModel& trainingModel, const VsmModel& testingModel, int k,
                          const NeighbourVisitor& visit, int threads = 1);

// Classifies every testing vector: its k nearest training vectors vote (by count, or with their
// similarities when `similarityVote`) with their stored categories of `tableName` over the
// category list, and (id, category) is appended to `results` in ascending testing id. Works on
// the environment's threads (the results do not depend on their number), draws the progress
// line and writes the stage's timing line. `keywordless`, when given, is the vector of a testing
// article that holds no keyword (the default weighting's; vsm::keywordlessTestingVector):
// testing vectors equal to it, or whose weights are all 0, are counted in the stage's warning,
// as are articles whose neighbours hold no listed category.
void knnClassifyTestSet(const StageEnvironment& environment, bool similarityVote,
                        const std::string& tableName, const VsmModel& trainingModel,
                        const VsmModel& testingModel, const CategoryList& categories, int k,
                        ClassificationResults& results, const WeightVector* keywordless = nullptr);

// Hands every testing vector's neighbour list to `visit`, in ascending testing id.
using NeighbourListSource = std::function<void(const NeighbourVisitor& visit)>;

// The vote of knnClassifyTestSet over neighbour lists found elsewhere (the training model split
// across the ranks of a distributed run): `trainingIds`, ascending, are the articles the lists
// may name, `lists` gives each testing vector's list. The caller has checked the request and
// the vectors as knnClassifyTestSet does. Writes the stage's timing line with the seconds of
// `clock`, started by the caller with the stage.
void voteOnNeighbourLists(const StageEnvironment& environment, bool similarityVote,
                          const std::string& tableName, const std::vector<int32_t>& trainingIds,
                          const VsmModel& testingModel, const CategoryList& categories,
                          const NeighbourListSource& lists, ClassificationResults& results,
                          const WeightVector* keywordless, const StageClock& clock);

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_TEST_SET_RUN_H_
