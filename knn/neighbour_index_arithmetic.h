// The arithmetic that building the neighbour index (neighbour_index.cc) and searching it
// (neighbour_search.cc) share: how a vector splits into a multiple of the shared vector and a
// residual, which residuals are listed, which lengths the bounds can serve, and the plain sums
// computed four at a time. Only those two files include it.
#ifndef NEWSCLASS_KNN_NEIGHBOUR_INDEX_ARITHMETIC_H_
#define NEWSCLASS_KNN_NEIGHBOUR_INDEX_ARITHMETIC_H_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace newsclass::neighbour_index {

// A residual is listed (summed exactly) when it departs from the shared multiple by more than
// this share of it; smaller ones enter the bound. Keywords an article contains depart by at
// least a share 2 / M, far above it; a six-digit rounding stays far below.
inline constexpr double kListedShare = 1e-4;
// Lengths outside these limits could make the bounds' own arithmetic overflow or underflow;
// such vectors are compared in full.
inline constexpr double kSmallestSelfProduct = 1e-200;
inline constexpr double kLargestSelfProduct = 1e200;
// Rows whose bounds are summarised together, so that the search can pass over all of them at once.
inline constexpr size_t kChunk = 32;

inline bool lengthUsable(double selfProduct) {
  return selfProduct >= kSmallestSelfProduct && selfProduct <= kLargestSelfProduct;
}

// A relative bound computed in floating point, raised so that it bounds the exact ratio too.
inline double raisedBound(double computed) { return computed * (1.0 + 1e-12) + 1e-15; }

// What a vector's residual against its multiple of the shared vector adds up to.
struct ResidualSummary {
  double dot = 0.0;           // h·r
  double absDot = 0.0;        // sum of |h_i r_i|
  double leftOutShare = 0.0;  // bound on |r_i| / |multiple h_i| where r_i is not listed
};

// Splits `vector` into multiple·base + residual and calls listed(i, r_i) for each residual
// that departs from multiple·base_i by more than kListedShare of it (or at all where that is
// 0); the others enter the bound. `inverseAbsBase` holds 1 / |base_i| (0 where base_i is 0).
template <class Listed>
ResidualSummary splitResidual(const double* vector, double multiple, const std::vector<double>& base,
                              const std::vector<double>& inverseAbsBase, Listed listed) {
  ResidualSummary summary;
  double largestShare = 0.0;  // times |multiple|
  for (size_t i = 0; i < base.size(); ++i) {
    const double expected = multiple * base[i];
    const double residual = vector[i] - expected;
    const double magnitude = std::fabs(expected);
    summary.dot += base[i] * residual;
    summary.absDot += std::fabs(base[i] * residual);
    if (std::fabs(residual) > kListedShare * magnitude || (magnitude == 0.0 && residual != 0.0)) {
      listed(i, residual);
    } else {
      largestShare = std::max(largestShare, std::fabs(residual) * inverseAbsBase[i]);
    }
  }
  summary.leftOutShare =
      raisedBound(largestShare == 0.0 ? 0.0 : largestShare / std::fabs(multiple));
  return summary;
}

// The sums x[r]·y[r] of four pairs of vectors, each its own sequential sum from 0.0 in index
// order; running them side by side lets the four chains of additions overlap.
inline void fourDotProducts(const double* const* x, const double* const* y, size_t dimension,
                            double* sums) {
  const double *x0 = x[0], *x1 = x[1], *x2 = x[2], *x3 = x[3];
  const double *y0 = y[0], *y1 = y[1], *y2 = y[2], *y3 = y[3];
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  for (size_t i = 0; i < dimension; ++i) {
    s0 += x0[i] * y0[i];
    s1 += x1[i] * y1[i];
    s2 += x2[i] * y2[i];
    s3 += x3[i] * y3[i];
  }
  sums[0] = s0;
  sums[1] = s1;
  sums[2] = s2;
  sums[3] = s3;
}

}  // namespace newsclass::neighbour_index

#endif  // NEWSCLASS_KNN_NEIGHBOUR_INDEX_ARITHMETIC_H_
