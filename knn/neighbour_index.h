// The K nearest training vectors of a testing vector, exactly as the plain ranking gives them
// (the same articles, the same order, the same similarity bits), without computing every
// similarity in full.
//
// Each vector is split into a multiple of one shared vector plus a residual (knn/shared_base.h):
// training v = c·h + r, testing x = d·h + s. The dot product is then
//   x·v = d·c·(h·h) + d·(h·r) + c·(s·h) + s·r,
// where h·h is one number, h·r one number per training vector and s·h one per testing vector;
// s·r is summed only over the keywords where both residuals are large (the few keywords both
// articles contain), found through per-keyword lists. What is left out is bounded by the
// largest left-out residual, and every rounding error of the estimate and of the plain
// sequential sum is bounded as well, so each similarity is known to lie within an interval.
// The K-th best lower end of those intervals rules out every training vector whose upper end
// lies below it; the rest, usually little more than K, get the plain sum, and are ranked by it.
#ifndef NEWSCLASS_KNN_NEIGHBOUR_INDEX_H_
#define NEWSCLASS_KNN_NEIGHBOUR_INDEX_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "knn/knn_types.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// Per training vector v = c·h + r, the parts of its similarity bounds that do not depend on the
// testing vector, each divided by the length of v.
struct RowTerms {
  std::vector<double> baseTerm;        // (c h·h + h·r) / |v|
  std::vector<double> multiple;        // c / |v|
  std::vector<double> residualAbsDot;  // sum of |h_i r_i|, / |v|
  std::vector<double> leftOut;         // bound on |r_i| / |c h_i| where r_i is not listed, × |c| / |v|
  std::vector<double> magnitude;       // (|c| h·h + sum of |h_i r_i|) / |v|
};

// The extremes of RowTerms over a chunk of rows.
struct ChunkExtremes {
  double largestBaseTerm, smallestBaseTerm;
  double largestMultiple, smallestMultiple;
  double largestResidualAbsDot, largestLeftOut, largestMagnitude;
};

class NeighbourIndex {
 public:
  // Indexes the vectors of `model`, which must outlive the index unchanged: the index keeps
  // pointers to them, not a copy. Every vector must have the same number of weights, all finite
  // (checkTrainingModel). Built on up to `threads` threads; the index is the same for any number.
  explicit NeighbourIndex(const VsmModel& model, int threads = 1);
  // Indexes rows kept elsewhere (a mapped file, say): rows[i], `dimension` weights, belongs to
  // ids[i]; ids ascending, rows unchanged for the index's life.
  NeighbourIndex(std::vector<int32_t> ids, std::vector<const double*> rows, size_t dimension,
                 int threads = 1);

  size_t size() const { return ids_.size(); }
  // The number of distinct training vectors.
  size_t distinctCount() const { return groupFirstRow_.size(); }
  // Training article ids in ascending order.
  const std::vector<int32_t>& ids() const { return ids_; }

  // Working memory of one search; one per thread.
  struct Scratch {
    std::vector<double> residual;
    std::vector<uint32_t> keptColumns;
    std::vector<double> cross, crossAbs;
    std::vector<uint32_t> touched;
    std::vector<uint32_t> rowStamp;  // the search that last touched a row
    std::vector<std::pair<uint32_t, double>> pool;  // rows that may pass, with their upper end
    std::vector<double> heap;
    std::vector<uint32_t> candidates, order;
    std::vector<double> exact;
    std::vector<double> ratios;
    std::vector<uint32_t> groupStamp;  // the search that last computed a group's similarity
    std::vector<double> groupSimilarity;
    std::vector<uint32_t> pendingGroups;
    std::vector<uint32_t> nonZero;  // positions of the testing vector's nonzero weights
    std::vector<std::pair<double, uint32_t>> scored;  // (similarity, row) of the sparse search
    uint32_t stamp = 0;       // of the current search, for rowStamp
    uint32_t groupRound = 0;  // of the current search, for groupStamp
    size_t exactComputations = 0;  // plain sums computed, for benchmarks
  };

  // Writes to `neighbours` the first k entries of rankNeighbours(testing, model): the k training
  // vectors of highest cosine similarity, ties in ascending id, with their similarities as
  // cosineSimilarity computes them. `testing` must have the model's number of weights, all
  // finite, and 1 <= k <= size().
  void nearest(const WeightVector& testing, int k, Scratch& scratch,
               std::vector<NeighbourEntry>& neighbours) const;

 private:
  struct ListedRun;         // the residuals one run of rows lists (neighbour_index.cc)
  struct SimilarityBounds;  // a testing vector's similarity intervals (neighbour_search.cc)
  class CandidatePool;      // the rows that may be among the k nearest (neighbour_search.cc)

  // Building, step by step.
  void build(std::vector<int32_t> ids, std::vector<const double*> rows, size_t dimension,
             int threads);
  void computeSelfProducts(int threads);
  // The shared vector h, each row's multiple c of it, and what the bounds need of h.
  void findBase();
  // Splits every row into c·h + r: its RowTerms, its listed residuals (in runs of rows, one run
  // per task) and a hash of its shape per row in `shapeHash`.
  std::vector<ListedRun> splitRows(int threads, std::vector<size_t>& shapeHash);
  void splitRow(size_t row, ListedRun& run, size_t& shapeHash);
  // Regroups the runs' listed residuals by column, and gathers the rows always compared in full.
  void listResiduals(std::vector<ListedRun>& runs);
  // Orders the rows into slots and summarises each chunk of slots.
  void arrangeSlots();
  void indexNonZeros();
  void groupIdenticalRows(const std::vector<size_t>& shapeHash);

  // Searching, step by step.
  SimilarityBounds boundsOf(const double* testing, double testingSelfProduct,
                            Scratch& scratch) const;
  // Offers the rows that share a listed column with the testing vector, with their cross terms,
  // and marks them in scratch.rowStamp.
  void offerListedRows(const SimilarityBounds& bounds, CandidatePool& pool,
                       Scratch& scratch) const;
  // Offers every unmarked row of the chunks whose upper end reaches the pool's floor.
  void offerChunks(const SimilarityBounds& bounds, CandidatePool& pool,
                   const Scratch& scratch) const;
  // The exact search for a testing vector with few nonzero weights over sparse training vectors:
  // only the rows sharing a nonzero position are summed; every other similarity is exactly +0.
  void nearestSparse(const double* x, double p, int k, Scratch& scratch,
                     std::vector<NeighbourEntry>& neighbours) const;
  double exactSimilarity(const double* testing, double testingSelfProduct, uint32_t row) const;
  // The plain similarity of every candidate, computed once per group of identical vectors.
  void computeCandidates(const double* testing, double testingSelfProduct, Scratch& scratch) const;
  // Ranks every training vector by its plain similarity: for testing vectors the bounds cannot
  // serve (a length near the limits of double).
  void rankAll(const WeightVector& testing, double selfProduct, int k, Scratch& scratch,
               std::vector<NeighbourEntry>& neighbours) const;
  void rankCandidates(int k, Scratch& scratch, std::vector<NeighbourEntry>& neighbours) const;

  size_t dimension_ = 0;
  std::vector<int32_t> ids_;
  std::vector<const double*> rows_;
  std::vector<double> selfProducts_;   // v·v, as dotProduct computes it
  std::vector<double> inverseLength_;  // 1 / sqrt(v·v)
  std::vector<double> base_;           // h
  std::vector<size_t> baseColumns_;    // columns whose base weight is not 0
  std::vector<double> inverseAbsBase_; // 1 / |h_i|, 0 where h_i is 0
  double baseSelfProduct_ = 0.0;       // h·h
  std::vector<double> multiple_;       // c
  // Rows with a usable length, in slots ordered by their base term, highest first, so that
  // rows alike in the part every testing vector shares sit in the same chunk. RowTerms are kept
  // in slot order.
  std::vector<uint32_t> slotRow_;
  std::vector<uint32_t> rowSlot_;
  RowTerms terms_;
  std::vector<ChunkExtremes> chunks_;
  std::vector<uint32_t> alwaysExact_;  // rows whose similarity is always computed in full
  // For training vectors that are mostly zeros: the rows with a nonzero weight in each column
  // (rows ascending, column i's from nonZeroStart_[i]); empty when the vectors are dense.
  std::vector<size_t> nonZeroStart_;
  std::vector<uint32_t> nonZeroRows_;
  // Identical training vectors (short articles often have the same keywords) form one group,
  // whose similarity is computed once; groupFirstRow_ is the group's first row.
  std::vector<uint32_t> groupOf_;
  std::vector<uint32_t> groupFirstRow_;
  // Per column i, the rows whose residual at i is listed, with the residual:
  // entries columnStart_[i] .. columnStart_[i + 1] - 1.
  std::vector<uint32_t> columnStart_;
  std::vector<uint32_t> listedRow_;
  std::vector<double> listedResidual_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_NEIGHBOUR_INDEX_H_
