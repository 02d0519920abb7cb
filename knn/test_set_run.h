// The neighbour search of a whole testing model: the neighbours of each testing article, found
// through the training model's neighbour index, are handed on in ascending testing id.
// knnClassifyTestSet votes on them; the benchmark times the search alone.
#ifndef NEWSCLASS_KNN_TEST_SET_RUN_H_
#define NEWSCLASS_KNN_TEST_SET_RUN_H_

#include <cstdint>
#include <functional>
#include <vector>

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

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_TEST_SET_RUN_H_
