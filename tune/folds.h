// The folds of cross-validation: each training article of a listed category goes to one fold,
// each category spread over the folds as evenly as it divides, in an order drawn from the
// article ids and a seed. The same ids, categories and seed give the same folds on any machine
// and for every setting that is compared on them.
#ifndef NEWSCLASS_TUNE_FOLDS_H_
#define NEWSCLASS_TUNE_FOLDS_H_

#include <cstdint>
#include <vector>

namespace newsclass {

// The fold (0 to folds - 1) of every article: `classes[i]` is the class of article `ids[i]`
// (its category's position, or -1 for an article of no listed category, which gets fold -1).
// Within each class the articles are ordered by a 64-bit mix of the seed and the id (ties by
// id) and dealt to the folds in turn, the dealing going on from one class to the next (classes
// in ascending order): every fold holds floor or ceil of n_c / folds of each class, and fold
// sizes differ by at most one. Requires folds >= 2 and ids without repeats.
std::vector<int> stratifiedFolds(const std::vector<int32_t>& ids, const std::vector<int>& classes,
                                 int folds, uint64_t seed);

}  // namespace newsclass

#endif  // NEWSCLASS_TUNE_FOLDS_H_
