// The common shape of a collection of weight vectors. Under TF-IDF weighting with a constant
// added to every term-frequency ratio, each vector is mostly a multiple of one shared vector:
// keyword i carries the same base weight in every article that lacks it, divided by the
// article's length. Only the keywords an article contains depart from that multiple. This file
// finds the shared vector h and each vector's multiple c, so that v = c·h + r with r small
// almost everywhere. Nothing here needs to be exact: the neighbour search bounds whatever
// residual is left, so a poor estimate only costs time.
#ifndef NEWSCLASS_KNN_SHARED_BASE_H_
#define NEWSCLASS_KNN_SHARED_BASE_H_

#include <cstddef>
#include <vector>

namespace newsclass {

// The value that most of `values` share within a relative tolerance: after sorting, the
// longest run whose last value lies within the tolerance of its first, and that run's middle
// element. 0 for no values. Reorders `values`.
double dominantValue(std::vector<double>& values);

// The multiple of `base` that `vector` (of `dimension` weights) mostly is: the dominant ratio
// vector[i] / base[i] over the columns listed in `columns` (whose base weight is not 0).
// `ratios` is scratch space.
double dominantMultiple(const double* vector, const std::vector<double>& base,
                        const std::vector<size_t>& columns, std::vector<double>& ratios);

// Up to `limit` indices spread evenly over 0..count-1 for which `usable` holds.
template <class Usable>
std::vector<size_t> spreadSample(size_t count, size_t limit, Usable usable) {
  std::vector<size_t> usableIndices;
  for (size_t i = 0; i < count; ++i) {
    if (usable(i)) usableIndices.push_back(i);
  }
  if (usableIndices.size() <= limit) return usableIndices;
  std::vector<size_t> sample;
  sample.reserve(limit);
  for (size_t s = 0; s < limit; ++s) sample.push_back(usableIndices[s * usableIndices.size() / limit]);
  return sample;
}

// The shared vector of `rows` (each `dimension` weights) and each row's multiple of it.
struct SharedBase {
  std::vector<double> base;       // h, one weight per column
  std::vector<double> multiples;  // c, one per row
};
SharedBase findSharedBase(const std::vector<const double*>& rows, size_t dimension);

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_SHARED_BASE_H_
