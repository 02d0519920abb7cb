#include "knn/shared_base.h"

#include <algorithm>
#include <cmath>

namespace newsclass {
namespace {

// Weights read back from a vector file carry six significant digits, so two weights that are
// the same multiple of the base may differ by a relative 1e-5 in their ratio.
constexpr double kRelativeTolerance = 2e-5;
// Columns looked at for a row's multiple, rows looked at for a column's base weight.
constexpr size_t kColumnSample = 31;
constexpr size_t kRowSample = 255;

}  // namespace

double dominantValue(std::vector<double>& values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  size_t bestFirst = 0, bestLength = 0;
  size_t last = 0;
  for (size_t first = 0; first < values.size(); ++first) {
    if (last < first) last = first;
    while (last + 1 < values.size() &&
           values[last + 1] - values[first] <=
               kRelativeTolerance * std::max(std::fabs(values[first]), std::fabs(values[last + 1]))) {
      ++last;
    }
    if (last - first + 1 > bestLength) {
      bestLength = last - first + 1;
      bestFirst = first;
    }
  }
  return values[bestFirst + bestLength / 2];
}

double dominantMultiple(const double* vector, const std::vector<double>& base,
                        const std::vector<size_t>& columns, std::vector<double>& ratios) {
  ratios.clear();
  for (size_t i : columns) {
    double ratio = vector[i] / base[i];
    if (std::isfinite(ratio)) ratios.push_back(ratio);
  }
  return dominantValue(ratios);
}

SharedBase findSharedBase(const std::vector<const double*>& rows, size_t dimension) {
  SharedBase shared;
  shared.multiples.assign(rows.size(), 0.0);
  if (rows.empty() || dimension == 0) {
    shared.base.assign(dimension, 0.0);
    return shared;
  }
  // Start from one row: every other row shares its base weight at the keywords both lack, so
  // their ratios to it are mostly one value, the ratio of the two lengths.
  size_t start = 0;
  auto nonZeroCount = [&](size_t r) {
    return std::count_if(rows[r], rows[r] + dimension, [](double w) { return w != 0.0; });
  };
  for (size_t r = 0; r < std::min<size_t>(rows.size(), 16); ++r) {
    if (nonZeroCount(r) > nonZeroCount(start)) start = r;
  }
  shared.base.assign(rows[start], rows[start] + dimension);

  std::vector<double> ratios;
  auto findMultiples = [&] {
    std::vector<size_t> columns = spreadSample(dimension, kColumnSample, [&](size_t i) {
      return shared.base[i] != 0.0 && std::isfinite(shared.base[i]);
    });
    for (size_t r = 0; r < rows.size(); ++r) {
      shared.multiples[r] = dominantMultiple(rows[r], shared.base, columns, ratios);
    }
  };
  findMultiples();
  // The start row's own keywords gave its base weights a departure; a column's base weight is
  // what most rows agree on once their multiples are divided out.
  std::vector<size_t> sampleRows = spreadSample(rows.size(), kRowSample, [&](size_t r) {
    return shared.multiples[r] != 0.0 && std::isfinite(shared.multiples[r]);
  });
  std::vector<double> refined(dimension, 0.0);
  for (size_t i = 0; i < dimension; ++i) {
    ratios.clear();
    for (size_t r : sampleRows) {
      double value = rows[r][i] / shared.multiples[r];
      if (std::isfinite(value)) ratios.push_back(value);
    }
    refined[i] = dominantValue(ratios);
  }
  shared.base = std::move(refined);
  findMultiples();
  return shared;
}

}  // namespace newsclass
