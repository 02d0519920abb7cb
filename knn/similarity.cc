#include "knn/similarity.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>
#include <stdexcept>
#include <string>

#include "driver/corpus_processor.h"

namespace newsclass {

double dotProduct(const WeightVector& x, const WeightVector& y) {
  // The length of x decides; y must hold at least as many weights, or the sum would read past it.
  if (y.size() < x.size()) {
    throw std::invalid_argument("dotProduct: the second vector has " + std::to_string(y.size()) +
                                " weights, fewer than the first (" + std::to_string(x.size()) +
                                ")");
  }
  double sum = 0.0;
  for (size_t i = 0; i < x.size(); ++i) sum += x[i] * y[i];
  return sum;
}

double cosineSimilarity(const WeightVector& a, const WeightVector& b) {
  double n = dotProduct(a, b);
  double p = dotProduct(a, a);
  double q = dotProduct(b, b);
  return cosineFromProducts(n, p, q);
}

namespace {

constexpr size_t kWidth = TrainingIndex::kBlockWidth;
static_assert(kWidth == 8, "the kernels handle blocks of eight training vectors");

// Dot products of kTests testing vectors with the eight vectors of one block: one running sum per
// (testing vector, training vector) pair, advanced component by component in index order, each
// step one rounded multiplication and one rounded addition, so every sum is the one dotProduct
// forms. SSE2 version: two sums per register.
template <int kTests>
void blockProductsSse2(const double* const* testing, const double* block, size_t dimension,
                       double (*sums)[kWidth]) {
  __m128d acc[kTests][4];
  for (int t = 0; t < kTests; ++t) {
    for (int h = 0; h < 4; ++h) acc[t][h] = _mm_setzero_pd();
  }
  for (size_t i = 0; i < dimension; ++i) {
    const double* row = block + i * kWidth;
    __m128d b0 = _mm_loadu_pd(row);
    __m128d b1 = _mm_loadu_pd(row + 2);
    __m128d b2 = _mm_loadu_pd(row + 4);
    __m128d b3 = _mm_loadu_pd(row + 6);
    for (int t = 0; t < kTests; ++t) {
      __m128d x = _mm_set1_pd(testing[t][i]);
      acc[t][0] = _mm_add_pd(acc[t][0], _mm_mul_pd(x, b0));
      acc[t][1] = _mm_add_pd(acc[t][1], _mm_mul_pd(x, b1));
      acc[t][2] = _mm_add_pd(acc[t][2], _mm_mul_pd(x, b2));
      acc[t][3] = _mm_add_pd(acc[t][3], _mm_mul_pd(x, b3));
    }
  }
  for (int t = 0; t < kTests; ++t) {
    for (int h = 0; h < 4; ++h) _mm_storeu_pd(sums[t] + 2 * h, acc[t][h]);
  }
}

// The same with four sums per register, for processors that have AVX2. Multiplication and
// addition stay separate instructions (no fused multiply-add), so the results are identical.
template <int kTests>
__attribute__((target("avx2"))) void blockProductsAvx2(const double* const* testing,
                                                       const double* block, size_t dimension,
                                                       double (*sums)[kWidth]) {
  __m256d acc[kTests][2];
  for (int t = 0; t < kTests; ++t) {
    acc[t][0] = _mm256_setzero_pd();
    acc[t][1] = _mm256_setzero_pd();
  }
  for (size_t i = 0; i < dimension; ++i) {
    const double* row = block + i * kWidth;
    __m256d b0 = _mm256_loadu_pd(row);
    __m256d b1 = _mm256_loadu_pd(row + 4);
    for (int t = 0; t < kTests; ++t) {
      __m256d x = _mm256_set1_pd(testing[t][i]);
      acc[t][0] = _mm256_add_pd(acc[t][0], _mm256_mul_pd(x, b0));
      acc[t][1] = _mm256_add_pd(acc[t][1], _mm256_mul_pd(x, b1));
    }
  }
  for (int t = 0; t < kTests; ++t) {
    _mm256_storeu_pd(sums[t], acc[t][0]);
    _mm256_storeu_pd(sums[t] + 4, acc[t][1]);
  }
}

bool avx2Allowed = true;

bool haveAvx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available && avx2Allowed;
}

// Runs the kernel for `tests` (1 to 4) testing vectors.
void blockProducts(size_t tests, const double* const* testing, const double* block,
                   size_t dimension, double (*sums)[kWidth]) {
  if (haveAvx2()) {
    switch (tests) {
      case 4: return blockProductsAvx2<4>(testing, block, dimension, sums);
      case 3: return blockProductsAvx2<3>(testing, block, dimension, sums);
      case 2: return blockProductsAvx2<2>(testing, block, dimension, sums);
      default: return blockProductsAvx2<1>(testing, block, dimension, sums);
    }
  }
  // Two testing vectors at a time keep the SSE2 kernel within its sixteen registers.
  for (size_t t = 0; t < tests; t += 2) {
    if (tests - t >= 2) {
      blockProductsSse2<2>(testing + t, block, dimension, sums + t);
    } else {
      blockProductsSse2<1>(testing + t, block, dimension, sums + t);
    }
  }
}

}  // namespace

void TrainingIndex::selectKernel(Kernel kernel) { avx2Allowed = kernel == Kernel::kAuto; }

TrainingIndex::TrainingIndex(const VsmModel& model) {
  ids_.reserve(model.size());
  selfProducts_.reserve(model.size());
  if (!model.empty()) dimension_ = model.begin()->second.size();
  size_t blockCount = (model.size() + kBlockWidth - 1) / kBlockWidth;
  blocks_.assign(blockCount * dimension_ * kBlockWidth, 0.0);
  size_t j = 0;
  for (const auto& [id, vector] : model) {
    ids_.push_back(id);
    selfProducts_.push_back(dotProduct(vector, vector));
    double* block = blocks_.data() + (j / kBlockWidth) * dimension_ * kBlockWidth;
    size_t lane = j % kBlockWidth;
    for (size_t i = 0; i < dimension_; ++i) block[i * kBlockWidth + lane] = vector[i];
    ++j;
  }
}

void TrainingIndex::similarities(const WeightVector* const* testing,
                                 const double* testingSelfProducts, size_t count,
                                 double* out) const {
  constexpr size_t kTile = 4;
  const size_t n = size();
  std::vector<const double*> rows(count);
  for (size_t t = 0; t < count; ++t) rows[t] = testing[t]->data();
  double sums[kTile][kBlockWidth];
  // Block by block, so that one block stays in the fastest cache while every testing vector of
  // the batch passes over it.
  for (size_t first = 0; first < n; first += kBlockWidth) {
    const double* block = blocks_.data() + (first / kBlockWidth) * dimension_ * kBlockWidth;
    size_t width = std::min(kBlockWidth, n - first);
    for (size_t t0 = 0; t0 < count; t0 += kTile) {
      size_t tests = std::min(kTile, count - t0);
      blockProducts(tests, rows.data() + t0, block, dimension_, sums);
      for (size_t t = 0; t < tests; ++t) {
        double* row = out + (t0 + t) * n + first;
        double p = testingSelfProducts[t0 + t];
        for (size_t lane = 0; lane < width; ++lane) {
          row[lane] = cosineFromProducts(sums[t][lane], p, selfProducts_[first + lane]);
        }
      }
    }
  }
}

// The processor's operations are the free functions above.
double CorpusProcessor::dotProduct(const WeightVector& x, const WeightVector& y) const {
  return newsclass::dotProduct(x, y);
}

double CorpusProcessor::cosineSimilarity(const WeightVector& a, const WeightVector& b) const {
  return newsclass::cosineSimilarity(a, b);
}

}  // namespace newsclass
