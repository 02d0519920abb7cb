// The pieces of one KNN decision, shared by the single-article classification, the test-set run
// and the explanation a user can ask for: checking the request, ranking the training articles,
// the id list of the neighbours and the vote over the category list.
#ifndef NEWSCLASS_KNN_NEIGHBOUR_VOTE_H_
#define NEWSCLASS_KNN_NEIGHBOUR_VOTE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/stage_environment.h"
#include "corpusdb/category_list.h"
#include "corpusdb/odbc_connection.h"
#include "knn/knn_types.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// Throws UsageError unless 1 <= k <= trainingCount and the category list is not empty. Callers
// run it before any other work, so that a bad request costs nothing.
void checkKnnRequest(int k, const CategoryList& categories, size_t trainingCount);

// Throws DataFileError unless every training vector has the same number of weights and all
// weights are finite numbers; returns that number (0 for an empty model).
size_t checkTrainingModel(const VsmModel& trainingModel);
// Throws DataFileError unless a testing vector has `dimension` weights, all finite: a testing
// model built over another keyword file cannot be compared with the training vectors. `owner`
// names the vector in the message ("testing article 17").
void checkTestingVector(const std::string& owner, const WeightVector& vector, size_t dimension);
std::string testingArticleName(int32_t articleId);

// Every training article with its cosine similarity to `vector`, computed with
// cosineSimilarity in ascending id and stably sorted by similarity, highest first.
std::vector<NeighbourEntry> rankNeighbours(const WeightVector& vector,
                                           const VsmModel& trainingModel);

// "(" + the first k ids, separated by "," + ")": the id list of the neighbour query.
std::string formatIdList(const std::vector<NeighbourEntry>& neighbours, size_t k);

// Runs a neighbour-category query on an open connection and returns the categories of its rows,
// in the order the database returns them.
std::vector<std::string> queryNeighbourCategories(OdbcConnection& connection,
                                                  const std::string& query);

// The votes of the neighbours' stored categories: each is trimmed of blanks, then every listed
// category, in list order, gets the number of categories equal to it. The result is stably
// sorted by votes, highest first, so its first entry is the prediction and ties go to the
// category listed first.
std::vector<CategoryVote> tallyVotes(std::vector<std::string> neighbourCategories,
                                     const CategoryList& categories);

// The similarity vote: every listed category, in list order, gets the number of neighbours whose
// (trimmed) category equals it and the sum of their similarities, added in the order given
// (rank order). The result is stably sorted by that sum, highest first, so ties go to the
// category listed first. `neighbourCategories` pairs each stored category with the similarity
// of the neighbour it belongs to.
std::vector<CategoryVote> tallySimilarityVotes(
    std::vector<std::pair<std::string, double>> neighbourCategories, const CategoryList& categories);

// The stored categories of each neighbour, one query per neighbour, paired with its similarity,
// in rank order: the similarity vote's input when the categories could not be read in one go.
std::vector<std::pair<std::string, double>> queryEachNeighbourCategory(
    OdbcConnection& connection, const std::string& table,
    const std::vector<NeighbourEntry>& neighbours);

// The winner's share of the vote: its votes over K (count vote), or its summed similarity over
// that of all the listed categories (similarity vote; 0 when that is 0).
double voteShare(const std::vector<CategoryVote>& votes, int k, bool bySimilarity);
// The share of every category that got a vote, in the votes' order (best first).
std::vector<std::pair<std::string, double>> voteShares(const std::vector<CategoryVote>& votes,
                                                       int k, bool bySimilarity);

// Why one testing article gets its category: its k neighbours in rank order with their stored
// categories, and the sorted votes. `storedCategories[i]` is the trimmed category of
// neighbours[i], empty with `found[i]` false when the training table lacks the id.
struct KnnExplanation {
  std::vector<NeighbourEntry> neighbours;
  std::vector<std::string> storedCategories;
  std::vector<bool> found;
  std::vector<CategoryVote> votes;
  std::string predicted;
};

// Classifies the vector of testing article `articleId` as knnClassify does (with the similarity
// vote when `similarityVote`) and keeps what led to the result. Reads the neighbours'
// categories twice: once as the classification does, once with their ids.
KnnExplanation explainKnnClassification(const StageEnvironment& environment, bool similarityVote,
                                        int k,
                                        const std::string& tableName, int32_t articleId,
                                        const WeightVector& vector,
                                        const CategoryList& categories,
                                        const VsmModel& trainingModel);

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_NEIGHBOUR_VOTE_H_
