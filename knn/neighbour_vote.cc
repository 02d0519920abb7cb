#include "knn/neighbour_vote.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "base/errors.h"
#include "base/text_utils.h"
#include "corpusdb/article_lookup.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "knn/knn_classify.h"
#include "knn/similarity.h"

namespace newsclass {
namespace {

bool allFinite(const WeightVector& vector) {
  return std::all_of(vector.begin(), vector.end(), [](double w) { return std::isfinite(w); });
}

}  // namespace

void checkKnnRequest(int k, const CategoryList& categories, size_t trainingCount) {
  if (k < 1 || static_cast<size_t>(k) > trainingCount) {
    throw UsageError("K must lie between 1 and the number of training vectors (" +
                     std::to_string(trainingCount) + "), got " + std::to_string(k));
  }
  if (categories.empty()) throw UsageError("the category list is empty: nothing to vote for");
}

size_t checkTrainingModel(const VsmModel& trainingModel) {
  if (trainingModel.empty()) return 0;
  const auto& [firstId, firstVector] = *trainingModel.begin();
  size_t dimension = firstVector.size();
  for (const auto& [id, vector] : trainingModel) {
    if (vector.size() != dimension) {
      throw DataFileError("training model: article " + std::to_string(id) + " has " +
                          std::to_string(vector.size()) + " weights where article " +
                          std::to_string(firstId) + " has " + std::to_string(dimension));
    }
    if (!allFinite(vector)) {
      throw DataFileError("training model: article " + std::to_string(id) +
                          " holds a weight that is not a finite number");
    }
  }
  return dimension;
}

std::string testingArticleName(int32_t articleId) {
  return "testing article " + std::to_string(articleId);
}

void checkTestingVector(const std::string& owner, const WeightVector& vector, size_t dimension) {
  if (vector.size() != dimension) {
    throw DataFileError(owner + " has " +
                        std::to_string(vector.size()) + " weights, the training vectors have " +
                        std::to_string(dimension) +
                        " (both models must be built over the same keyword file)");
  }
  if (!allFinite(vector)) {
    throw DataFileError(owner + " holds a weight that is not a finite number");
  }
}

std::vector<NeighbourEntry> rankNeighbours(const WeightVector& vector,
                                           const VsmModel& trainingModel) {
  std::vector<NeighbourEntry> neighbours;
  neighbours.reserve(trainingModel.size());
  for (const auto& [id, trainingVector] : trainingModel) {
    neighbours.push_back({id, cosineSimilarity(vector, trainingVector)});
  }
  std::stable_sort(neighbours.begin(), neighbours.end(),
                   [](const NeighbourEntry& left, const NeighbourEntry& right) {
                     return left.similarity > right.similarity;
                   });
  return neighbours;
}

std::string formatIdList(const std::vector<NeighbourEntry>& neighbours, size_t k) {
  std::string text = "(";
  for (size_t i = 0; i < k && i < neighbours.size(); ++i) {
    if (i > 0) text += ',';
    text += std::to_string(neighbours[i].articleId);
  }
  text += ')';
  return text;
}

std::vector<CategoryVote> tallyVotes(std::vector<std::string> neighbourCategories,
                                     const CategoryList& categories) {
  for (std::string& category : neighbourCategories) trimInPlace(category, " ");
  std::vector<CategoryVote> votes;
  votes.reserve(categories.size());
  for (const std::string& name : categories) {
    auto count = std::count(neighbourCategories.begin(), neighbourCategories.end(), name);
    votes.push_back({name, static_cast<int32_t>(count)});
  }
  std::stable_sort(votes.begin(), votes.end(),
                   [](const CategoryVote& left, const CategoryVote& right) {
                     return left.votes > right.votes;
                   });
  return votes;
}

std::vector<CategoryVote> tallySimilarityVotes(
    std::vector<std::pair<std::string, double>> neighbourCategories, const CategoryList& categories) {
  for (auto& entry : neighbourCategories) trimInPlace(entry.first, " ");
  std::vector<CategoryVote> votes;
  votes.reserve(categories.size());
  for (const std::string& name : categories) {
    CategoryVote vote{name, 0, 0.0};
    for (const auto& [category, similarity] : neighbourCategories) {
      if (category != name) continue;
      ++vote.votes;
      vote.weight += similarity;
    }
    votes.push_back(std::move(vote));
  }
  std::stable_sort(votes.begin(), votes.end(),
                   [](const CategoryVote& left, const CategoryVote& right) {
                     return left.weight > right.weight;
                   });
  return votes;
}

std::vector<std::pair<std::string, double>> queryEachNeighbourCategory(
    OdbcConnection& connection, const std::string& table,
    const std::vector<NeighbourEntry>& neighbours) {
  std::vector<std::pair<std::string, double>> found;
  for (const NeighbourEntry& neighbour : neighbours) {
    for (std::string& category :
         queryNeighbourCategories(connection, articleCategoryQuery(table, neighbour.articleId))) {
      found.emplace_back(std::move(category), neighbour.similarity);
    }
  }
  return found;
}

namespace {

double summedWeight(const std::vector<CategoryVote>& votes) {
  double total = 0.0;
  for (const CategoryVote& vote : votes) total += vote.weight;
  return total;
}

// One category's share, given the summed similarity of all the listed categories.
double shareOf(const CategoryVote& vote, double total, int k, bool bySimilarity) {
  if (!bySimilarity) return static_cast<double>(vote.votes) / k;
  return total > 0.0 ? vote.weight / total : 0.0;
}

}  // namespace

double voteShare(const std::vector<CategoryVote>& votes, int k, bool bySimilarity) {
  if (votes.empty()) return 0.0;
  return shareOf(votes.front(), summedWeight(votes), k, bySimilarity);
}

std::vector<std::pair<std::string, double>> voteShares(const std::vector<CategoryVote>& votes,
                                                       int k, bool bySimilarity) {
  const double total = summedWeight(votes);
  std::vector<std::pair<std::string, double>> shares;
  for (size_t i = 0; i < votes.size() && votes[i].votes > 0; ++i) {
    shares.emplace_back(votes[i].category, shareOf(votes[i], total, k, bySimilarity));
  }
  return shares;
}

KnnExplanation explainKnnClassification(const StageEnvironment& environment, bool similarityVote,
                                        int k,
                                        const std::string& tableName, int32_t articleId,
                                        const WeightVector& vector,
                                        const CategoryList& categories,
                                        const VsmModel& trainingModel) {
  checkKnnRequest(k, categories, trainingModel.size());
  checkTableName(tableName);
  checkTestingVector(testingArticleName(articleId), vector, checkTrainingModel(trainingModel));
  KnnExplanation explanation;
  std::vector<NeighbourEntry> ranked = rankNeighbours(vector, trainingModel);
  std::string idList = formatIdList(ranked, static_cast<size_t>(k));
  explanation.neighbours.assign(ranked.begin(), ranked.begin() + k);
  if (similarityVote) {
    OdbcConnection connection(environment.connectionString, "knnClassify");
    explanation.votes = tallySimilarityVotes(
        queryEachNeighbourCategory(connection, tableName, explanation.neighbours), categories);
  } else {
    explanation.votes =
        tallyVotes(fetchNeighbourCategories(environment, idList, tableName), categories);
  }
  explanation.predicted = explanation.votes.front().category;

  std::map<int32_t, std::string> stored;
  {
    OdbcConnection connection(environment.connectionString, "knnClassify");
    stored = readStoredCategories(connection, neighbourIdCategoriesQuery(tableName, idList));
  }
  for (const NeighbourEntry& neighbour : explanation.neighbours) {
    auto found = stored.find(neighbour.articleId);
    explanation.found.push_back(found != stored.end());
    explanation.storedCategories.push_back(found != stored.end() ? found->second : "");
  }
  return explanation;
}

}  // namespace newsclass
