// Cosine similarity between weight vectors, and a fast way to compute it for many testing vectors
// against one training model. The fast way gives every similarity bit for bit as
// cosineSimilarity does: each dot product is still one sum in index order, one product and one
// addition per component (no fused multiply-add, no reordering); it only runs several such sums
// side by side and computes each training vector's self product once.
#ifndef NEWSCLASS_KNN_SIMILARITY_H_
#define NEWSCLASS_KNN_SIMILARITY_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

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

// A training model laid out for comparing many testing vectors with it. Vectors are stored in
// blocks of kBlockWidth, interleaved component by component, so that one pass over a block
// advances kBlockWidth independent dot products; the last block is padded with zero vectors.
// Every vector of the model must have the same number of weights (checkTrainingModel).
class TrainingIndex {
 public:
  static constexpr size_t kBlockWidth = 8;

  explicit TrainingIndex(const VsmModel& model);

  size_t size() const { return ids_.size(); }
  // Training article ids in ascending order; column j of a similarity row belongs to ids()[j].
  const std::vector<int32_t>& ids() const { return ids_; }

  // For `count` testing vectors (each of dimension() weights) with their self products
  // (dotProduct(v, v)), writes count rows of size() similarities to `out`, row t starting at
  // out + t * size(). Each value equals cosineSimilarity(testing[t], training vector j).
  void similarities(const WeightVector* const* testing, const double* testingSelfProducts,
                    size_t count, double* out) const;

  // The kernels: four sums per instruction where the processor has AVX2, two (SSE2) otherwise.
  // Both give the same bits; tests and benchmarks switch to SSE2 to check and time it.
  enum class Kernel { kAuto, kSse2 };
  static void selectKernel(Kernel kernel);

 private:
  size_t dimension_ = 0;
  std::vector<int32_t> ids_;
  std::vector<double> selfProducts_;
  std::vector<double> blocks_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_SIMILARITY_H_
