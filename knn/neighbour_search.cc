// Searching the neighbour index: the bounds of every row's similarity to a testing vector, the
// rows that may be among the k nearest, their plain sums and their ranking. The index is built
// in neighbour_index.cc.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "knn/neighbour_index.h"
#include "knn/neighbour_index_arithmetic.h"
#include "knn/shared_base.h"
#include "knn/similarity.h"

namespace newsclass {

using namespace neighbour_index;

namespace {

// The unit roundoff of double.
constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
// Absolute slack, in similarity, for results that underflow: every error of that kind (a few per
// operation, each at most the smallest subnormal) together, times the inverse lengths (each at
// most 1e100 within the limits of lengthUsable), stays far below it for any practical dimension.
constexpr double kUnderflowSlack = 1e-100;

// Starts a new search round of the scratch's row marks over `rows` rows: a row is marked in this
// round when its stamp is scratch.stamp.
void startRowRound(NeighbourIndex::Scratch& scratch, size_t rows) {
  if (scratch.rowStamp.size() != rows || ++scratch.stamp == 0) {
    scratch.rowStamp.assign(rows, 0);
    scratch.stamp = 1;
  }
}

}  // namespace

// The interval of every training vector's similarity to one testing vector x = d·h + s, from
// the parts of the row that do not depend on x, each divided by the row's length (RowTerms);
// the rounding of those parts is absorbed in the roundoff term like every other.
struct NeighbourIndex::SimilarityBounds {
  double d;                     // the testing vector's multiple of the shared vector
  double residualDot;           // h·s
  double residualAbsDot;        // sum of |h_i s_i|
  double leftOutShare;          // bound on |s_i| / |d h_i| where s_i is not listed
  double roundoff;
  double inverseTestingLength;

  // cross and crossAbs are s·r and its absolute sum over the columns listed on both sides,
  // divided by the row's length. Each operation below rounds monotonically, so larger
  // operands never give a smaller upper end: chunkUpper relies on that.
  void interval(double baseTerm, double multiple, double rowResidualAbsDot, double rowLeftOut,
                double rowMagnitude, double cross, double crossAbs, double& lower,
                double& upper) const {
    const double cosine = (d * baseTerm + multiple * residualDot + cross) * inverseTestingLength;
    const double leftOut =
        leftOutShare * std::fabs(d) * rowResidualAbsDot + rowLeftOut * residualAbsDot;
    const double magnitude =
        std::fabs(d) * rowMagnitude + std::fabs(multiple) * residualAbsDot + crossAbs;
    const double halfWidth = halfWidthOf(leftOut, magnitude, std::fabs(cosine));
    const double low = cosine - halfWidth;
    const double high = cosine + halfWidth;
    // An end that overflows into NaN becomes the infinity that makes it unknown.
    lower = low == low ? low : -std::numeric_limits<double>::infinity();
    upper = high == high ? high : std::numeric_limits<double>::infinity();
  }

  double halfWidthOf(double leftOut, double magnitude, double absCosine) const {
    return (leftOut * (1.0 + 1e-9) + roundoff * magnitude) * inverseTestingLength * (1.0 + 1e-9) +
           1e-13 * absCosine + kUnderflowSlack;
  }

  // An upper end at least as high as that of every row of the chunk without cross terms: the
  // same operations on the chunk's extremes.
  double chunkUpper(const ChunkExtremes& chunk) const {
    const double highBase = std::max(d * chunk.largestBaseTerm, d * chunk.smallestBaseTerm);
    const double lowBase = std::min(d * chunk.largestBaseTerm, d * chunk.smallestBaseTerm);
    const double highMultiple =
        std::max(chunk.largestMultiple * residualDot, chunk.smallestMultiple * residualDot);
    const double lowMultiple =
        std::min(chunk.largestMultiple * residualDot, chunk.smallestMultiple * residualDot);
    const double high = (highBase + highMultiple + 0.0) * inverseTestingLength;
    const double low = (lowBase + lowMultiple + 0.0) * inverseTestingLength;
    const double leftOut = leftOutShare * std::fabs(d) * chunk.largestResidualAbsDot +
                           chunk.largestLeftOut * residualAbsDot;
    const double absMultiple =
        std::max(std::fabs(chunk.largestMultiple), std::fabs(chunk.smallestMultiple));
    const double magnitude =
        std::fabs(d) * chunk.largestMagnitude + absMultiple * residualAbsDot + 0.0;
    return high + halfWidthOf(leftOut, magnitude, std::max(std::fabs(high), std::fabs(low)));
  }
};

// The k highest lower ends seen so far, in a heap whose top is the lowest of them: at least k
// similarities reach that top (the floor), so no row whose upper end stays below it can be
// among the k nearest. The floor only rises, so a row dropped against it stays dropped. Rows
// offered with an upper end at the floor or above wait in the pool with it.
class NeighbourIndex::CandidatePool {
 public:
  CandidatePool(int k, Scratch& scratch)
      : k_(static_cast<size_t>(k)), heap_(scratch.heap), pool_(scratch.pool) {
    heap_.clear();
    pool_.clear();
  }

  double floor() const {
    return heap_.size() < k_ ? -std::numeric_limits<double>::infinity() : heap_.front();
  }

  // Every row a search weighs passes here and most change nothing, so this is inlined into each
  // loop that offers rows, and the heap work kept apart.
  [[gnu::always_inline]] void offer(uint32_t row, double lower, double upper) {
    if (heap_.size() < k_ || lower > heap_.front()) keepLowerEnd(lower);
    if (upper >= floor()) pool_.emplace_back(row, upper);
  }

  // Puts `lower` among the k highest lower ends: onto a heap not yet full, else in place of the
  // lowest, which it exceeds.
  void keepLowerEnd(double lower) {
    if (heap_.size() < k_) {
      heap_.push_back(lower);
    } else {
      std::pop_heap(heap_.begin(), heap_.end(), std::greater<double>());
      heap_.back() = lower;
    }
    std::push_heap(heap_.begin(), heap_.end(), std::greater<double>());
  }

  // The rows of the pool whose upper end reaches the final floor, in the order offered.
  void keepCandidates(std::vector<uint32_t>& candidates) const {
    const double threshold = floor();
    candidates.clear();
    for (const auto& [row, upper] : pool_) {
      if (upper >= threshold) candidates.push_back(row);
    }
  }

 private:
  size_t k_;
  std::vector<double>& heap_;
  std::vector<std::pair<uint32_t, double>>& pool_;
};

void NeighbourIndex::nearest(const WeightVector& testing, int k, Scratch& scratch,
                             std::vector<NeighbourEntry>& neighbours) const {
  const double p = dotProduct(testing, testing);
  const double* x = testing.data();
  if (!nonZeroStart_.empty()) {
    scratch.nonZero.clear();
    for (size_t i = 0; i < dimension_ && scratch.nonZero.size() * 8 <= dimension_; ++i) {
      if (x[i] != 0.0) scratch.nonZero.push_back(static_cast<uint32_t>(i));
    }
    if (scratch.nonZero.size() * 8 <= dimension_) return nearestSparse(x, p, k, scratch, neighbours);
  }
  if (!lengthUsable(p)) return rankAll(testing, p, k, scratch, neighbours);

  const SimilarityBounds bounds = boundsOf(x, p, scratch);
  CandidatePool pool(k, scratch);
  // First the rows that share listed columns with the testing vector and the rows always
  // compared in full: they are the likely neighbours, so the floor rises early. Then the rest.
  offerListedRows(bounds, pool, scratch);
  for (uint32_t j : alwaysExact_) {
    const double similarity = exactSimilarity(x, p, j);
    pool.offer(j, similarity, similarity);
  }
  offerChunks(bounds, pool, scratch);
  pool.keepCandidates(scratch.candidates);
  computeCandidates(x, p, scratch);
  rankCandidates(k, scratch, neighbours);
}

NeighbourIndex::SimilarityBounds NeighbourIndex::boundsOf(const double* x, double p,
                                                          Scratch& scratch) const {
  // The testing vector's multiple of the shared vector, its residual and the columns where the
  // residual is listed.
  const double d = dominantMultiple(x, base_, baseColumns_, scratch.ratios);
  scratch.keptColumns.clear();
  scratch.residual.assign(dimension_, 0.0);
  const ResidualSummary summary =
      splitResidual(x, d, base_, inverseAbsBase_, [&](size_t i, double residual) {
        scratch.keptColumns.push_back(static_cast<uint32_t>(i));
        scratch.residual[i] = residual;
      });
  // Every rounding of the estimate, of the quantities it is made of and of the plain sum is
  // within a few units of roundoff times a sum of at most dimension + 16 terms, each bounded by
  // the absolute sizes summed in `magnitude`; the factor 16 leaves room for all of them together.
  const double roundoff = 16.0 * (static_cast<double>(dimension_) + 16.0) * kUnitRoundoff;
  return {d, summary.dot, summary.absDot, summary.leftOutShare, roundoff, 1.0 / std::sqrt(p)};
}

void NeighbourIndex::offerListedRows(const SimilarityBounds& bounds, CandidatePool& pool,
                                     Scratch& scratch) const {
  // s·r over the columns listed on both sides, row by row; each row touched is marked, so that
  // offerChunks passes over it.
  const size_t n = size();
  startRowRound(scratch, n);
  scratch.cross.resize(n, 0.0);
  scratch.crossAbs.resize(n, 0.0);
  scratch.touched.clear();
  double* cross = scratch.cross.data();
  double* crossAbs = scratch.crossAbs.data();
  for (uint32_t i : scratch.keptColumns) {
    const double s = scratch.residual[i];
    for (uint32_t e = columnStart_[i]; e < columnStart_[i + 1]; ++e) {
      const uint32_t j = listedRow_[e];
      const double product = s * listedResidual_[e];
      cross[j] += product;
      crossAbs[j] += std::fabs(product);
      if (scratch.rowStamp[j] != scratch.stamp) {
        scratch.rowStamp[j] = scratch.stamp;
        scratch.touched.push_back(j);
      }
    }
  }
  for (uint32_t j : scratch.touched) {
    const uint32_t slot = rowSlot_[j];
    double lower, upper;
    bounds.interval(terms_.baseTerm[slot], terms_.multiple[slot], terms_.residualAbsDot[slot],
                    terms_.leftOut[slot], terms_.magnitude[slot], cross[j] * inverseLength_[j],
                    crossAbs[j] * inverseLength_[j], lower, upper);
    cross[j] = crossAbs[j] = 0.0;
    pool.offer(j, lower, upper);
  }
}

void NeighbourIndex::offerChunks(const SimilarityBounds& bounds, CandidatePool& pool,
                                 const Scratch& scratch) const {
  // Chunk by chunk; a chunk whose rows all stay below the floor is passed over whole.
  for (size_t chunk = 0; chunk < chunks_.size(); ++chunk) {
    if (bounds.chunkUpper(chunks_[chunk]) < pool.floor()) continue;
    const size_t last = std::min(slotRow_.size(), (chunk + 1) * kChunk);
    for (size_t slot = chunk * kChunk; slot < last; ++slot) {
      const uint32_t j = slotRow_[slot];
      if (scratch.rowStamp[j] == scratch.stamp) continue;
      double lower, upper;
      bounds.interval(terms_.baseTerm[slot], terms_.multiple[slot], terms_.residualAbsDot[slot],
                      terms_.leftOut[slot], terms_.magnitude[slot], 0.0, 0.0, lower, upper);
      pool.offer(j, lower, upper);
    }
  }
}

void NeighbourIndex::nearestSparse(const double* x, double p, int k, Scratch& scratch,
                                   std::vector<NeighbourEntry>& neighbours) const {
  const size_t n = size();
  startRowRound(scratch, n);
  // The rows that share a nonzero position, each summed over the testing vector's nonzero
  // weights in ascending position: the plain sum bit for bit (computeCandidates says why).
  std::vector<std::pair<double, uint32_t>>& scored = scratch.scored;
  scored.clear();
  for (uint32_t i : scratch.nonZero) {
    for (size_t e = nonZeroStart_[i]; e < nonZeroStart_[i + 1]; ++e) {
      const uint32_t row = nonZeroRows_[e];
      if (scratch.rowStamp[row] == scratch.stamp) continue;
      scratch.rowStamp[row] = scratch.stamp;
      double sum = 0.0;
      for (uint32_t c : scratch.nonZero) sum += x[c] * rows_[row][c];
      scored.emplace_back(cosineFromProducts(sum, p, selfProducts_[row]), row);
    }
  }
  scratch.exactComputations += scored.size();
  // Every other row's sum is +0 and so is its cosine. The plain ranking orders by similarity,
  // then by row: the positive ones, then every row at 0 in row order, then the negative ones.
  std::sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return a.second < b.second;
  });
  const size_t wanted = std::min(static_cast<size_t>(k), n);
  neighbours.clear();
  size_t next = 0;
  while (neighbours.size() < wanted && next < scored.size() && scored[next].first > 0.0) {
    neighbours.push_back({ids_[scored[next].second], scored[next].first});
    ++next;
  }
  // The rows at exactly 0, in row order: every unscored row and the scored ones that came out
  // 0, whose marks are taken back; rows marked after that have another similarity.
  size_t afterZeros = next;
  while (afterZeros < scored.size() && scored[afterZeros].first == 0.0) {
    scratch.rowStamp[scored[afterZeros].second] = 0;
    ++afterZeros;
  }
  for (uint32_t row = 0; row < n && neighbours.size() < wanted; ++row) {
    if (scratch.rowStamp[row] != scratch.stamp) neighbours.push_back({ids_[row], 0.0});
  }
  for (size_t s = afterZeros; s < scored.size() && neighbours.size() < wanted; ++s) {
    neighbours.push_back({ids_[scored[s].second], scored[s].first});
  }
}

double NeighbourIndex::exactSimilarity(const double* testing, double testingSelfProduct,
                                       uint32_t row) const {
  const double* weights = rows_[row];
  double sum = 0.0;
  for (size_t i = 0; i < dimension_; ++i) sum += testing[i] * weights[i];
  return cosineFromProducts(sum, testingSelfProduct, selfProducts_[row]);
}

void NeighbourIndex::computeCandidates(const double* x, double p, Scratch& scratch) const {
  if (scratch.groupStamp.size() != groupFirstRow_.size() || ++scratch.groupRound == 0) {
    scratch.groupStamp.assign(groupFirstRow_.size(), 0);
    scratch.groupSimilarity.resize(groupFirstRow_.size());
    scratch.groupRound = 1;
  }
  std::vector<uint32_t>& pending = scratch.pendingGroups;
  pending.clear();
  for (uint32_t j : scratch.candidates) {
    const uint32_t group = groupOf_[j];
    if (scratch.groupStamp[group] != scratch.groupRound) {
      scratch.groupStamp[group] = scratch.groupRound;
      pending.push_back(group);
    }
  }
  // A testing vector with few nonzero weights (tfidf weighs only the keywords an article holds)
  // is summed over those alone, in ascending position. The terms left out are products with an
  // exact zero, each +0 or -0; added to a sum that starts at +0 they never change it (a sum of
  // such terms cannot become -0), so the result is the plain sum bit for bit.
  std::vector<uint32_t>& nonZero = scratch.nonZero;
  nonZero.clear();
  for (size_t i = 0; i < dimension_ && nonZero.size() * 4 < dimension_; ++i) {
    if (x[i] != 0.0) nonZero.push_back(static_cast<uint32_t>(i));
  }
  if (nonZero.size() * 4 < dimension_) {
    for (uint32_t group : pending) {
      const uint32_t row = groupFirstRow_[group];
      const double* weights = rows_[row];
      double sum = 0.0;
      for (uint32_t i : nonZero) sum += x[i] * weights[i];
      scratch.groupSimilarity[group] = cosineFromProducts(sum, p, selfProducts_[row]);
    }
    scratch.exactComputations += pending.size();
    scratch.exact.clear();
    for (uint32_t j : scratch.candidates) scratch.exact.push_back(scratch.groupSimilarity[groupOf_[j]]);
    return;
  }
  size_t g = 0;
  for (; g + 4 <= pending.size(); g += 4) {
    const uint32_t* rows = groupFirstRow_.data();
    const double* testing[4] = {x, x, x, x};
    const double* candidates[4] = {rows_[rows[pending[g]]], rows_[rows[pending[g + 1]]],
                                   rows_[rows[pending[g + 2]]], rows_[rows[pending[g + 3]]]};
    double sums[4];
    fourDotProducts(testing, candidates, dimension_, sums);
    for (size_t r = 0; r < 4; ++r) {
      const uint32_t group = pending[g + r];
      scratch.groupSimilarity[group] =
          cosineFromProducts(sums[r], p, selfProducts_[groupFirstRow_[group]]);
    }
  }
  for (; g < pending.size(); ++g) {
    scratch.groupSimilarity[pending[g]] = exactSimilarity(x, p, groupFirstRow_[pending[g]]);
  }
  scratch.exactComputations += pending.size();
  scratch.exact.clear();
  for (uint32_t j : scratch.candidates) scratch.exact.push_back(scratch.groupSimilarity[groupOf_[j]]);
}

void NeighbourIndex::rankAll(const WeightVector& testing, double selfProduct, int k,
                             Scratch& scratch, std::vector<NeighbourEntry>& neighbours) const {
  scratch.candidates.resize(size());
  for (uint32_t j = 0; j < size(); ++j) scratch.candidates[j] = j;
  computeCandidates(testing.data(), selfProduct, scratch);
  rankCandidates(k, scratch, neighbours);
}

void NeighbourIndex::rankCandidates(int k, Scratch& scratch,
                                    std::vector<NeighbourEntry>& neighbours) const {
  // Positions into the candidate list, ordered as a stable sort by similarity over ascending
  // ids orders them: similarity descending, then row (= id order) ascending.
  const size_t count = scratch.candidates.size();
  std::vector<uint32_t>& order = scratch.order;
  order.resize(count);
  for (uint32_t c = 0; c < count; ++c) order[c] = c;
  const size_t wanted = std::min(static_cast<size_t>(k), count);
  const double* exact = scratch.exact.data();
  const uint32_t* rows = scratch.candidates.data();
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(wanted),
                    order.end(), [exact, rows](uint32_t left, uint32_t right) {
                      if (exact[left] != exact[right]) return exact[left] > exact[right];
                      return rows[left] < rows[right];
                    });
  neighbours.clear();
  for (size_t i = 0; i < wanted; ++i) {
    neighbours.push_back({ids_[rows[order[i]]], exact[order[i]]});
  }
}

}  // namespace newsclass
