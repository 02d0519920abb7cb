#include "knn/knn_classify.h"

#include <string>
#include <vector>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "knn/neighbour_vote.h"

namespace newsclass {

std::vector<std::string> fetchNeighbourCategories(const StageEnvironment& environment,
                                                  const std::string& idList,
                                                  const std::string& tableName) {
  std::string query = neighbourCategoriesQuery(tableName, idList);
  OdbcConnection connection(environment.connectionString, "knnClassify");
  return queryNeighbourCategories(connection, query);
}

std::vector<std::string> queryNeighbourCategories(OdbcConnection& connection,
                                                  const std::string& query) {
  RowCursor rows = connection.execute(query);
  std::vector<std::string> categories;
  for (; !rows.atEnd(); rows.moveNext()) categories.push_back(rows.text(kCategoryColumn));
  return categories;
}

std::string knnClassify(const StageEnvironment& environment, int k, const std::string& tableName,
                        const WeightVector& vector, const CategoryList& categories,
                        const VsmModel& trainingModel) {
  checkKnnRequest(k, categories, trainingModel.size());
  checkTableName(tableName);
  checkTestingVector("the testing vector", vector, checkTrainingModel(trainingModel));
  std::vector<NeighbourEntry> neighbours = rankNeighbours(vector, trainingModel);
  std::string idList = formatIdList(neighbours, static_cast<size_t>(k));
  std::vector<CategoryVote> votes =
      tallyVotes(fetchNeighbourCategories(environment, idList, tableName), categories);
  return votes.front().category;
}

}  // namespace newsclass
