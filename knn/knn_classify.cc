#include <string>
#include <vector>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "knn/neighbour_vote.h"
#include "processor/corpus_processor.h"

namespace newsclass {

std::vector<std::string> CorpusProcessor::fetchNeighbourCategories(std::string idList,
                                                                   std::string tableName) {
  std::string query = neighbourCategoriesQuery(tableName, idList);
  OdbcConnection connection(environment().connectionString, "knnClassify");
  return queryNeighbourCategories(connection, query);
}

std::vector<std::string> queryNeighbourCategories(OdbcConnection& connection,
                                                  const std::string& query) {
  RowCursor rows = connection.execute(query);
  std::vector<std::string> categories;
  for (; !rows.atEnd(); rows.moveNext()) categories.push_back(rows.text("Categorization"));
  return categories;
}

std::string CorpusProcessor::knnClassify(int k, std::string tableName, WeightVector vector,
                                         CategoryList categories,
                                         const VsmModel& trainingModel) {
  checkKnnRequest(k, categories, trainingModel.size());
  checkTableName(tableName);
  checkTestingVector("the testing vector", vector, checkTrainingModel(trainingModel));
  std::vector<NeighbourEntry> neighbours = rankNeighbours(vector, trainingModel);
  std::string idList = formatIdList(neighbours, static_cast<size_t>(k));
  std::vector<CategoryVote> votes =
      tallyVotes(fetchNeighbourCategories(idList, tableName), categories);
  return votes.front().category;
}

}  // namespace newsclass
