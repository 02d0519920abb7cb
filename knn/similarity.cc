#include "knn/similarity.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "driver/corpus_processor.h"

namespace newsclass {

double CorpusProcessor::dotProduct(const WeightVector& x, const WeightVector& y) const {
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

double CorpusProcessor::cosineSimilarity(const WeightVector& a, const WeightVector& b) const {
  double n = dotProduct(a, b);
  double p = dotProduct(a, a);
  double q = dotProduct(b, b);
  return cosineFromProducts(n, p, q);
}

namespace {

// Four doubles handled as one value; on plain x86-64 the compiler splits each operation into two
// SSE2 instructions. Every lane is rounded exactly as a scalar multiplication or addition.
typedef double Lanes __attribute__((vector_size(32)));
static_assert(TrainingIndex::kBlockWidth == 8, "the kernel handles two Lanes per block row");

// Dot products of kTests testing vectors with the kBlockWidth vectors of one block: for every
// (testing vector, training vector) pair one running sum, advanced component by component in
// index order, so each sum is the one dotProduct forms.
template <int kTests>
void blockProducts(const double* const* testing, const double* block, size_t dimension,
                   double (*sums)[TrainingIndex::kBlockWidth]) {
  Lanes low[kTests];
  Lanes high[kTests];
  for (int t = 0; t < kTests; ++t) {
    low[t] = Lanes{0.0, 0.0, 0.0, 0.0};
    high[t] = Lanes{0.0, 0.0, 0.0, 0.0};
  }
  for (size_t i = 0; i < dimension; ++i) {
    Lanes first;
    Lanes second;
    std::memcpy(&first, block + i * TrainingIndex::kBlockWidth, sizeof first);
    std::memcpy(&second, block + i * TrainingIndex::kBlockWidth + 4, sizeof second);
    for (int t = 0; t < kTests; ++t) {
      double x = testing[t][i];
      Lanes broadcast = Lanes{x, x, x, x};
      low[t] += broadcast * first;
      high[t] += broadcast * second;
    }
  }
  for (int t = 0; t < kTests; ++t) {
    std::memcpy(sums[t], &low[t], sizeof low[t]);
    std::memcpy(sums[t] + 4, &high[t], sizeof high[t]);
  }
}

}  // namespace

TrainingIndex::TrainingIndex(const CorpusProcessor& processor, const VsmModel& model) {
  ids_.reserve(model.size());
  selfProducts_.reserve(model.size());
  if (!model.empty()) dimension_ = model.begin()->second.size();
  size_t blockCount = (model.size() + kBlockWidth - 1) / kBlockWidth;
  blocks_.assign(blockCount * dimension_ * kBlockWidth, 0.0);
  size_t j = 0;
  for (const auto& [id, vector] : model) {
    ids_.push_back(id);
    selfProducts_.push_back(processor.dotProduct(vector, vector));
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
      switch (tests) {
        case 4: blockProducts<4>(rows.data() + t0, block, dimension_, sums); break;
        case 3: blockProducts<3>(rows.data() + t0, block, dimension_, sums); break;
        case 2: blockProducts<2>(rows.data() + t0, block, dimension_, sums); break;
        default: blockProducts<1>(rows.data() + t0, block, dimension_, sums); break;
      }
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

}  // namespace newsclass
