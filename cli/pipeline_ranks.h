// The stages of pipeline that a distributed run (mpirun -n R) spreads over its ranks. Each rank
// takes a share of consecutive ids of the training range and of the testing range
// (cluster::shareOf); rank 0 puts the shares' results together in rank order, which is id
// order, so that every file it writes is the one a single process writes, byte for byte.
//
//   dictionary        every rank segments its training share; rank 0 appends the shares'
//                     postings and holds the whole dictionary (the other ranks keep their share)
//   table             every rank counts the postings of its share; rank 0 adds the counts up
//   keywords          rank 0 alone (it takes little time)
//   vectors           every rank weighs its training share (with the keyword statistics of the
//                     whole range, from rank 0) and segments and weighs its testing share; rank
//                     0 writes both files from the shares; every rank then holds its training
//                     share and all testing vectors
//   KNN               every rank finds each testing vector's k nearest in its training share;
//                     rank 0 merges the lists (knn/neighbour_shards.h) and votes
#ifndef NEWSCLASS_CLI_PIPELINE_RANKS_H_
#define NEWSCLASS_CLI_PIPELINE_RANKS_H_

#include <functional>
#include <string>

#include "base/atomic_file.h"
#include "base/stage_clock.h"
#include "contingency/contingency_table.h"
#include "corpusdb/category_list.h"
#include "dictionary/dictionary.h"
#include "knn/knn_types.h"
#include "processor/environment.h"
#include "segmentation/tokenizer.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// Builds this rank's share of the dictionary of `range`'s articles of `tableName`; on rank 0
// then appends the other ranks' shares, so that it holds the dictionary of the whole range.
void buildDictionaryAcrossRanks(const Environment& environment, ArticleRange range,
                                Tokenizer tokenizer, const std::string& tableName,
                                Dictionary& dictionary);

// Counts the contingency table of `range` across the ranks: rank 0 reads the categories'
// article ids and sends them out, every rank counts the postings of its share of the range in
// its dictionary (rank 0's is the whole one) and rank 0 adds the counts up into `table`, the
// table one process counts (the other ranks' stays empty). Prints the stage's timing line.
void countContingencyAcrossRanks(const Environment& environment, ArticleRange range,
                                 const Dictionary& dictionary, const CategoryList& categories,
                                 const std::string& tableName, ContingencyTable& table);

// Prints a stage's summary line (rank 0): stage, what it made, its clock and its file.
using StageSummary = std::function<void(const std::string& stage, const std::string& what,
                                        const StageClock& clock, const std::string& path)>;

// What a rank holds for the neighbour search once the vectors are built.
struct RankVectors {
  VsmModel trainingShare;  // the vectors of the rank's share of the training range
  VsmModel testing;        // every testing vector
  size_t trainingTotal = 0;     // training vectors over all ranks
  size_t keywordCount = 0;
  WeightVector keywordless;     // the vector of a testing article without keywords
};

// The files a distributed vector stage reads and writes (rank 0).
struct VectorStagePaths {
  std::string keywords;
  std::string training;
  std::string testing;
};

// Builds the training and testing vectors across the ranks, weights as the files hold them;
// rank 0 writes both files into `files` (the caller commits) and prints the summaries.
// `dictionary` is the whole dictionary on rank 0, the rank's share elsewhere.
RankVectors buildVectorsAcrossRanks(const Environment& environment, ArticleRange trainingRange,
                                    ArticleRange testingRange, const Dictionary& dictionary,
                                    const VectorStagePaths& paths, AtomicFileGroup& files,
                                    const StageSummary& summary);

// Classifies every testing vector with its k nearest training vectors over all ranks' shares;
// the predictions on rank 0 (none elsewhere), in ascending testing id.
ClassificationResults classifyKnnAcrossRanks(const Environment& environment,
                                             ArticleRange trainingRange,
                                             const CategoryList& categories, int k,
                                             const RankVectors& vectors);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_PIPELINE_RANKS_H_
