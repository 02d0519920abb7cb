#include "knn/neighbour_index.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "base/parallel.h"
#include "knn/shared_base.h"
#include "knn/similarity.h"

namespace newsclass {
namespace {

// A residual is listed (summed exactly) when it departs from the shared multiple by more than
// this share of it; smaller ones enter the bound. Keywords an article contains depart by at
// least a share 2 / M, far above it; a six-digit rounding stays far below.
constexpr double kListedShare = 1e-4;
// The unit roundoff of double.
constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2;
// Lengths outside these limits could make the bounds' own arithmetic overflow or underflow;
// such vectors are compared in full.
constexpr double kSmallestSelfProduct = 1e-200;
constexpr double kLargestSelfProduct = 1e200;
// Absolute slack, in similarity, for results that underflow: every error of that kind (a few per
// operation, each at most the smallest subnormal) together, times the inverse lengths (each at
// most 1e100 within the limits above), stays far below it for any practical dimension.
constexpr double kUnderflowSlack = 1e-100;
// Columns looked at to find a testing vector's multiple of the shared vector: enough for a
// clear majority of keywords the article lacks, few enough to sort quickly for every article.
constexpr size_t kColumnSample = 31;
// Rows whose bounds are summarised together, so that the search can pass over all of them at once.
constexpr size_t kChunk = 32;
// Training rows per task when the index is built on several threads (a multiple of 4).
constexpr size_t kRowsPerTask = 512;

bool lengthUsable(double selfProduct) {
  return selfProduct >= kSmallestSelfProduct && selfProduct <= kLargestSelfProduct;
}

// A relative bound computed in floating point, raised so that it bounds the exact ratio too.
double raisedBound(double computed) { return computed * (1.0 + 1e-12) + 1e-15; }

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
void fourDotProducts(const double* const* x, const double* const* y, size_t dimension,
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

// The interval of every training vector's similarity to one testing vector x = d·h + s, from
// the parts of the row that do not depend on x, each divided by the row's length (RowTerms);
// the rounding of those parts is absorbed in the roundoff term like every other.
struct SimilarityBounds {
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

}  // namespace

NeighbourIndex::NeighbourIndex(const VsmModel& model, int threads) {
  std::vector<int32_t> ids;
  std::vector<const double*> rows;
  ids.reserve(model.size());
  rows.reserve(model.size());
  for (const auto& [id, vector] : model) {
    ids.push_back(id);
    rows.push_back(vector.data());
  }
  build(std::move(ids), std::move(rows), model.empty() ? 0 : model.begin()->second.size(),
        threads);
}

NeighbourIndex::NeighbourIndex(std::vector<int32_t> ids, std::vector<const double*> rows,
                               size_t dimension, int threads) {
  build(std::move(ids), std::move(rows), dimension, threads);
}

void NeighbourIndex::build(std::vector<int32_t> ids, std::vector<const double*> rows,
                           size_t dimension, int threads) {
  const size_t count = ids.size();
  ids_ = std::move(ids);
  rows_ = std::move(rows);
  dimension_ = count > 0 ? dimension : 0;
  // Four self products side by side, each its own sequential sum as dotProduct forms it.
  // Rows go to the threads in runs of kRowsPerTask (a multiple of 4); each row's numbers are
  // its own, so they do not depend on the thread count.
  const size_t tasks = (count + kRowsPerTask - 1) / kRowsPerTask;
  selfProducts_.resize(count);
  inverseLength_.resize(count);
  runInParallel(threads, tasks, [&](size_t task, size_t) {
    const size_t end = std::min(count, (task + 1) * kRowsPerTask);
    size_t j = task * kRowsPerTask;
    for (; j + 4 <= end; j += 4) {
      fourDotProducts(&rows_[j], &rows_[j], dimension_, &selfProducts_[j]);
    }
    for (; j < end; ++j) {
      double sum = 0.0;
      for (size_t i = 0; i < dimension_; ++i) sum += rows_[j][i] * rows_[j][i];
      selfProducts_[j] = sum;
    }
    for (j = task * kRowsPerTask; j < end; ++j) {
      inverseLength_[j] = 1.0 / std::sqrt(selfProducts_[j]);
    }
  });

  SharedBase shared = findSharedBase(rows_, dimension_);
  base_ = std::move(shared.base);
  multiple_ = std::move(shared.multiples);
  baseColumns_ = spreadSample(dimension_, kColumnSample, [&](size_t i) {
    return base_[i] != 0.0 && std::isfinite(base_[i]);
  });
  inverseAbsBase_.resize(dimension_);
  for (size_t i = 0; i < dimension_; ++i) {
    baseSelfProduct_ += base_[i] * base_[i];
    inverseAbsBase_[i] = base_[i] == 0.0 ? 0.0 : 1.0 / std::fabs(base_[i]);
  }

  // Residuals of every row; the listed ones are gathered row by row, then regrouped by column.
  // Rows with the same multiple and the same listed residuals are candidates for being
  // identical, which their bytes then decide.
  for (std::vector<double>* terms : {&terms_.baseTerm, &terms_.multiple, &terms_.residualAbsDot,
                                     &terms_.leftOut, &terms_.magnitude}) {
    terms->assign(count, 0.0);
  }
  // Each run of rows lists its residuals on its own; the runs are then joined in row order, so
  // every column's list is in row order as a single pass would make it.
  struct ListedRun {
    std::vector<uint32_t> column, row;
    std::vector<double> residual;
    std::vector<uint32_t> alwaysExact;
  };
  std::vector<ListedRun> runs(tasks);
  std::vector<size_t> shapeHash(count);
  const size_t bytes = dimension_ * sizeof(double);
  runInParallel(threads, tasks, [&](size_t task, size_t) {
    ListedRun& run = runs[task];
    const size_t end = std::min(count, (task + 1) * kRowsPerTask);
    for (size_t j = task * kRowsPerTask; j < end; ++j) {
      const double c = multiple_[j];
      if (!lengthUsable(selfProducts_[j]) || !std::isfinite(c)) {
        run.alwaysExact.push_back(static_cast<uint32_t>(j));
        shapeHash[j] = std::hash<std::string_view>()(
            std::string_view(reinterpret_cast<const char*>(rows_[j]), bytes));
        continue;
      }
      size_t hash = std::hash<double>()(c);
      ResidualSummary summary =
          splitResidual(rows_[j], c, base_, inverseAbsBase_, [&](size_t i, double residual) {
            run.column.push_back(static_cast<uint32_t>(i));
            run.row.push_back(static_cast<uint32_t>(j));
            run.residual.push_back(residual);
            hash = hash * 1000003u ^ (i + 0x9e3779b97f4a7c15u * std::hash<double>()(residual));
          });
      shapeHash[j] = hash;
      const double inverse = inverseLength_[j];
      terms_.baseTerm[j] = (c * baseSelfProduct_ + summary.dot) * inverse;
      terms_.multiple[j] = c * inverse;
      terms_.residualAbsDot[j] = summary.absDot * inverse;
      terms_.leftOut[j] = summary.leftOutShare * std::fabs(c) * inverse;
      terms_.magnitude[j] = (std::fabs(c) * baseSelfProduct_ + summary.absDot) * inverse;
    }
  });
  columnStart_.assign(dimension_ + 1, 0);
  size_t listed = 0;
  for (const ListedRun& run : runs) {
    alwaysExact_.insert(alwaysExact_.end(), run.alwaysExact.begin(), run.alwaysExact.end());
    for (uint32_t column : run.column) ++columnStart_[column + 1];
    listed += run.row.size();
  }
  arrangeSlots();
  indexNonZeros();
  for (size_t i = 0; i < dimension_; ++i) columnStart_[i + 1] += columnStart_[i];
  listedRow_.resize(listed);
  listedResidual_.resize(listed);
  std::vector<uint32_t> next(columnStart_.begin(), columnStart_.end() - 1);
  for (ListedRun& run : runs) {
    for (size_t e = 0; e < run.row.size(); ++e) {
      uint32_t at = next[run.column[e]]++;
      listedRow_[at] = run.row[e];
      listedResidual_[at] = run.residual[e];
    }
    run = ListedRun{};
  }

  groupOf_.resize(count);
  std::unordered_multimap<size_t, uint32_t> groupsByHash;
  for (size_t j = 0; j < count; ++j) {
    auto [first, last] = groupsByHash.equal_range(shapeHash[j]);
    auto same = std::find_if(first, last, [&](const auto& entry) {
      return std::memcmp(rows_[groupFirstRow_[entry.second]], rows_[j], bytes) == 0;
    });
    if (same != last) {
      groupOf_[j] = same->second;
    } else {
      groupOf_[j] = static_cast<uint32_t>(groupFirstRow_.size());
      groupsByHash.emplace(shapeHash[j], groupOf_[j]);
      groupFirstRow_.push_back(static_cast<uint32_t>(j));
    }
  }
}

void NeighbourIndex::indexNonZeros() {
  // Worth it only for mostly-zero vectors (tfidf): at most one weight in eight nonzero.
  const size_t count = size();
  size_t nonZeros = 0;
  for (size_t j = 0; j < count; ++j) {
    for (size_t i = 0; i < dimension_; ++i) nonZeros += rows_[j][i] != 0.0;
    if (nonZeros * 8 > count * dimension_) return;
  }
  nonZeroStart_.assign(dimension_ + 1, 0);
  for (size_t j = 0; j < count; ++j) {
    for (size_t i = 0; i < dimension_; ++i) nonZeroStart_[i + 1] += rows_[j][i] != 0.0;
  }
  for (size_t i = 0; i < dimension_; ++i) nonZeroStart_[i + 1] += nonZeroStart_[i];
  nonZeroRows_.resize(nonZeroStart_.back());
  std::vector<size_t> next(nonZeroStart_.begin(), nonZeroStart_.end() - 1);
  for (size_t j = 0; j < count; ++j) {
    for (size_t i = 0; i < dimension_; ++i) {
      if (rows_[j][i] != 0.0) nonZeroRows_[next[i]++] = static_cast<uint32_t>(j);
    }
  }
}

void NeighbourIndex::nearestSparse(const double* x, double p, int k, Scratch& scratch,
                                   std::vector<NeighbourEntry>& neighbours) const {
  const size_t n = size();
  if (scratch.rowStamp.size() != n || ++scratch.stamp == 0) {
    scratch.rowStamp.assign(n, 0);
    scratch.stamp = 1;
  }
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

void NeighbourIndex::arrangeSlots() {
  const size_t count = size();
  std::vector<bool> exact(count, false);
  for (uint32_t j : alwaysExact_) exact[j] = true;
  for (uint32_t j = 0; j < count; ++j) {
    if (!exact[j]) slotRow_.push_back(j);
  }
  std::stable_sort(slotRow_.begin(), slotRow_.end(), [&](uint32_t a, uint32_t b) {
    return terms_.baseTerm[a] > terms_.baseTerm[b];
  });
  rowSlot_.assign(count, UINT32_MAX);
  for (uint32_t slot = 0; slot < slotRow_.size(); ++slot) rowSlot_[slotRow_[slot]] = slot;
  for (std::vector<double>* terms : {&terms_.baseTerm, &terms_.multiple, &terms_.residualAbsDot,
                                     &terms_.leftOut, &terms_.magnitude}) {
    std::vector<double> bySlot(slotRow_.size());
    for (size_t slot = 0; slot < slotRow_.size(); ++slot) bySlot[slot] = (*terms)[slotRow_[slot]];
    *terms = std::move(bySlot);
  }
  for (size_t first = 0; first < slotRow_.size(); first += kChunk) {
    const size_t last = std::min(slotRow_.size(), first + kChunk);
    auto extreme = [&](const std::vector<double>& terms, bool largest) {
      auto [low, high] = std::minmax_element(terms.begin() + static_cast<std::ptrdiff_t>(first),
                                             terms.begin() + static_cast<std::ptrdiff_t>(last));
      return largest ? *high : *low;
    };
    chunks_.push_back({extreme(terms_.baseTerm, true), extreme(terms_.baseTerm, false),
                       extreme(terms_.multiple, true), extreme(terms_.multiple, false),
                       extreme(terms_.residualAbsDot, true), extreme(terms_.leftOut, true),
                       extreme(terms_.magnitude, true)});
  }
}

double NeighbourIndex::exactSimilarity(const double* testing, double testingSelfProduct,
                                       uint32_t row) const {
  const double* weights = rows_[row];
  double sum = 0.0;
  for (size_t i = 0; i < dimension_; ++i) sum += testing[i] * weights[i];
  return cosineFromProducts(sum, testingSelfProduct, selfProducts_[row]);
}

void NeighbourIndex::nearest(const WeightVector& testing, int k, Scratch& scratch,
                             std::vector<NeighbourEntry>& neighbours) const {
  const size_t n = size();
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
  const SimilarityBounds bounds{d, summary.dot, summary.absDot, summary.leftOutShare, roundoff,
                                1.0 / std::sqrt(p)};

  // The k highest lower ends seen so far, in a heap whose top is the lowest of them: at least k
  // similarities reach that top, so no row whose upper end stays below it can be among the k
  // nearest. The top only rises, so a row dropped against it stays dropped.
  std::vector<double>& heap = scratch.heap;
  heap.clear();
  auto floor = [&] {
    return heap.size() < static_cast<size_t>(k) ? -std::numeric_limits<double>::infinity()
                                                 : heap.front();
  };
  auto offer = [&](uint32_t row, double lower, double upper) {
    if (heap.size() < static_cast<size_t>(k)) {
      heap.push_back(lower);
      std::push_heap(heap.begin(), heap.end(), std::greater<double>());
    } else if (lower > heap.front()) {
      std::pop_heap(heap.begin(), heap.end(), std::greater<double>());
      heap.back() = lower;
      std::push_heap(heap.begin(), heap.end(), std::greater<double>());
    }
    if (upper >= floor()) scratch.pool.emplace_back(row, upper);
  };
  scratch.pool.clear();

  // First the rows that share listed columns with the testing vector: s·r over those columns,
  // then their intervals. They are the likely neighbours, so the floor rises early.
  if (scratch.rowStamp.size() != n || ++scratch.stamp == 0) {
    scratch.rowStamp.assign(n, 0);
    scratch.stamp = 1;
  }
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
    offer(j, lower, upper);
  }
  for (uint32_t j : alwaysExact_) {
    const double similarity = exactSimilarity(x, p, j);
    offer(j, similarity, similarity);
  }

  // Then the other rows, chunk by chunk; a chunk whose rows all stay below the floor is passed
  // over whole.
  for (size_t chunk = 0; chunk < chunks_.size(); ++chunk) {
    if (bounds.chunkUpper(chunks_[chunk]) < floor()) continue;
    const size_t last = std::min(slotRow_.size(), (chunk + 1) * kChunk);
    for (size_t slot = chunk * kChunk; slot < last; ++slot) {
      const uint32_t j = slotRow_[slot];
      if (scratch.rowStamp[j] == scratch.stamp) continue;
      double lower, upper;
      bounds.interval(terms_.baseTerm[slot], terms_.multiple[slot], terms_.residualAbsDot[slot],
                      terms_.leftOut[slot], terms_.magnitude[slot], 0.0, 0.0, lower, upper);
      offer(j, lower, upper);
    }
  }

  const double threshold = floor();
  scratch.candidates.clear();
  for (const auto& [row, upper] : scratch.pool) {
    if (upper >= threshold) scratch.candidates.push_back(row);
  }
  computeCandidates(x, p, scratch);
  rankCandidates(k, scratch, neighbours);
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
