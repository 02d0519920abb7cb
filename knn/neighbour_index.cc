// Building the neighbour index: self products, the shared vector, each row's residual and the
// terms of its bounds, the listed residuals by column, the slots and chunks, and the groups of
// identical rows. The search is in neighbour_search.cc.
#include "knn/neighbour_index.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "base/parallel.h"
#include "knn/neighbour_index_arithmetic.h"
#include "knn/shared_base.h"

namespace newsclass {

using namespace neighbour_index;

namespace {

// Columns looked at to find a testing vector's multiple of the shared vector: enough for a
// clear majority of keywords the article lacks, few enough to sort quickly for every article.
constexpr size_t kColumnSample = 31;
// Training rows per task when the index is built on several threads (a multiple of 4).
constexpr size_t kRowsPerTask = 512;

size_t rowTasks(size_t count) { return (count + kRowsPerTask - 1) / kRowsPerTask; }

// Calls work(task, first, end) for each run of kRowsPerTask rows [first, end) out of `count`,
// on up to `threads` threads. Each row's numbers are its own, so they do not depend on the
// thread count.
void inRowRuns(size_t count, int threads,
               const std::function<void(size_t task, size_t first, size_t end)>& work) {
  runInParallel(threads, rowTasks(count), [&](size_t task, size_t) {
    work(task, task * kRowsPerTask, std::min(count, (task + 1) * kRowsPerTask));
  });
}

}  // namespace

// The residuals one run of rows lists, in row order, and its rows that are always compared in
// full.
struct NeighbourIndex::ListedRun {
  std::vector<uint32_t> column, row;
  std::vector<double> residual;
  std::vector<uint32_t> alwaysExact;
};

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
  computeSelfProducts(threads);
  findBase();
  // Rows with the same multiple and the same listed residuals are candidates for being
  // identical, which their bytes then decide.
  std::vector<size_t> shapeHash(count);
  std::vector<ListedRun> runs = splitRows(threads, shapeHash);
  listResiduals(runs);
  arrangeSlots();
  indexNonZeros();
  groupIdenticalRows(shapeHash);
}

void NeighbourIndex::computeSelfProducts(int threads) {
  // Four self products side by side, each its own sequential sum as dotProduct forms it.
  const size_t count = size();
  selfProducts_.resize(count);
  inverseLength_.resize(count);
  inRowRuns(count, threads, [&](size_t, size_t first, size_t end) {
    size_t j = first;
    for (; j + 4 <= end; j += 4) {
      fourDotProducts(&rows_[j], &rows_[j], dimension_, &selfProducts_[j]);
    }
    for (; j < end; ++j) {
      double sum = 0.0;
      for (size_t i = 0; i < dimension_; ++i) sum += rows_[j][i] * rows_[j][i];
      selfProducts_[j] = sum;
    }
    for (j = first; j < end; ++j) inverseLength_[j] = 1.0 / std::sqrt(selfProducts_[j]);
  });
}

void NeighbourIndex::findBase() {
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
}

std::vector<NeighbourIndex::ListedRun> NeighbourIndex::splitRows(int threads,
                                                                 std::vector<size_t>& shapeHash) {
  const size_t count = size();
  for (std::vector<double>* terms : {&terms_.baseTerm, &terms_.multiple, &terms_.residualAbsDot,
                                     &terms_.leftOut, &terms_.magnitude}) {
    terms->assign(count, 0.0);
  }
  // Each run of rows lists its residuals on its own; listResiduals joins them in row order.
  std::vector<ListedRun> runs(rowTasks(count));
  inRowRuns(count, threads, [&](size_t task, size_t first, size_t end) {
    for (size_t j = first; j < end; ++j) splitRow(j, runs[task], shapeHash[j]);
  });
  return runs;
}

void NeighbourIndex::splitRow(size_t j, ListedRun& run, size_t& shapeHash) {
  const double c = multiple_[j];
  if (!lengthUsable(selfProducts_[j]) || !std::isfinite(c)) {
    run.alwaysExact.push_back(static_cast<uint32_t>(j));
    shapeHash = std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(rows_[j]), dimension_ * sizeof(double)));
    return;
  }
  size_t hash = std::hash<double>()(c);
  const ResidualSummary summary =
      splitResidual(rows_[j], c, base_, inverseAbsBase_, [&](size_t i, double residual) {
        run.column.push_back(static_cast<uint32_t>(i));
        run.row.push_back(static_cast<uint32_t>(j));
        run.residual.push_back(residual);
        hash = hash * 1000003u ^ (i + 0x9e3779b97f4a7c15u * std::hash<double>()(residual));
      });
  shapeHash = hash;
  const double inverse = inverseLength_[j];
  terms_.baseTerm[j] = (c * baseSelfProduct_ + summary.dot) * inverse;
  terms_.multiple[j] = c * inverse;
  terms_.residualAbsDot[j] = summary.absDot * inverse;
  terms_.leftOut[j] = summary.leftOutShare * std::fabs(c) * inverse;
  terms_.magnitude[j] = (std::fabs(c) * baseSelfProduct_ + summary.absDot) * inverse;
}

void NeighbourIndex::listResiduals(std::vector<ListedRun>& runs) {
  // The runs are joined in row order, so every column's list is in row order as a single pass
  // would make it.
  columnStart_.assign(dimension_ + 1, 0);
  size_t listed = 0;
  for (const ListedRun& run : runs) {
    alwaysExact_.insert(alwaysExact_.end(), run.alwaysExact.begin(), run.alwaysExact.end());
    for (uint32_t column : run.column) ++columnStart_[column + 1];
    listed += run.row.size();
  }
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
}

void NeighbourIndex::groupIdenticalRows(const std::vector<size_t>& shapeHash) {
  const size_t count = size();
  const size_t bytes = dimension_ * sizeof(double);
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

}  // namespace newsclass
