// The linear classifier's training across the ranks of a distributed run: its machines, one a
// class against the rest, are independent, so each rank trains those of its share of the
// classes and rank 0 puts them together in class order. A machine does not depend on the rank
// or the threads that trained it, so the model is the one a single process trains.
#ifndef NEWSCLASS_LINEAR_LINEAR_RANKS_H_
#define NEWSCLASS_LINEAR_LINEAR_RANKS_H_

#include <cstddef>
#include <optional>

#include "linear/linear_model.h"
#include "linear/linear_run.h"

namespace newsclass {

// Every rank calls it; rank 0 passes the training set and its feature count (the other ranks
// pass null and get both from rank 0). Returns the model on rank 0, nothing elsewhere. Two
// classes make one machine, which rank 0 trains alone.
std::optional<LinearModel> trainLinearAcrossRanks(const LinearTrainingSet* trainingOnRoot,
                                                  size_t featureCount,
                                                  const LinearSettings& settings);

}  // namespace newsclass

#endif  // NEWSCLASS_LINEAR_LINEAR_RANKS_H_
