// Cosine similarity between weight vectors: each dot product one sum in index order, one product
// and one addition per component (no fused multiply-add, no reordering), so that every search
// that ranks by it can reproduce its bits.
#ifndef NEWSCLASS_KNN_SIMILARITY_H_
#define NEWSCLASS_KNN_SIMILARITY_H_

#include <cmath>
#include <cstddef>

#include "vsm/vsm_model.h"

namespace newsclass {

// The sum of x[i] * y[i] over the indices of x, added in index order starting from 0.0. Throws
// std::invalid_argument when y holds fewer weights than x (the sum would read past it); extra
// weights of y are ignored.
double dotProduct(const WeightVector& x, const WeightVector& y);

// The cosine of the angle between a and b: cosineFromProducts(a.b, a.a, b.b), each a dotProduct.
// 0 when either vector has only zero weights. b must hold at least as many weights as a.
double cosineSimilarity(const WeightVector& a, const WeightVector& b);

// The cosine from the three dot products: n = a.b, p = a.a, q = b.b. When q x p is 0 (one of the
// vectors has only zero weights, or both are so short that the product underflows) the cosine
// is 0 instead of 0/0 or n/0; otherwise it is exactly n / sqrt(q x p).
inline double cosineFromProducts(double n, double p, double q) {
  double lengths = q * p;
  if (lengths == 0.0) return 0.0;
  return n / std::sqrt(lengths);
}

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_SIMILARITY_H_
