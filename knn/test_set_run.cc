#include "knn/test_set_run.h"

#include <optional>
#include <ostream>
#include <string>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "driver/encoding.h"
#include "driver/stage_clock.h"
#include "knn/category_check.h"
#include "knn/neighbour_vote.h"
#include "knn/neighbour_categories.h"
#include "knn/neighbour_index.h"

namespace newsclass {
namespace {

// One line for all articles whose neighbours have no listed category: the vote rule gives them
// the first listed category, which says nothing about them.
void warnEmptyVotes(const CorpusProcessor& processor, size_t emptyVotes, size_t articles,
                    const std::string& firstCategory) {
  if (emptyVotes == 0) return;
  processor.environment().warnings
      << "classification: " << emptyVotes << " of " << articles
      << " testing articles had no neighbour with a listed category and took the first, "
      << textForMessages(processor, firstCategory) << "\n";
}

}  // namespace

void forEachNeighbourList(const VsmModel& trainingModel, const VsmModel& testingModel, int k,
                          const NeighbourVisitor& visit) {
  NeighbourIndex index(trainingModel);
  NeighbourIndex::Scratch scratch;
  std::vector<NeighbourEntry> neighbours;
  for (const auto& [id, vector] : testingModel) {
    index.nearest(vector, k, scratch, neighbours);
    visit(id, neighbours);
  }
}

void CorpusProcessor::knnClassifyTestSet(std::string tableName, const VsmModel& trainingModel,
                                         const VsmModel& testingModel, CategoryList categories,
                                         int k, ClassificationResults& results) {
  static const std::string kTimingLabel = gbk("对测试集进行KNN分类的时间为");
  StageClock clock;
  checkKnnRequest(k, categories, trainingModel.size());
  checkTableName(tableName);
  size_t dimension = checkTrainingModel(trainingModel);
  for (const auto& [id, vector] : testingModel) {
    checkTestingVector(testingArticleName(id), vector, dimension);
  }
  // The neighbours' categories come from one read of the training articles' categories; where
  // that read declines, from one neighbour query per testing article. The queries share one
  // connection: opening a connection costs more than the query itself, and the rows are the
  // same. The article's entry is appended before the next article is looked at, so a database
  // fault keeps earlier entries.
  std::optional<OdbcConnection> connection;
  std::optional<NeighbourCategories> stored;
  if (!testingModel.empty()) {
    connection.emplace(environment().connectionString, "knnClassify");
    std::vector<int32_t> trainingIds;
    trainingIds.reserve(trainingModel.size());
    for (const auto& entry : trainingModel) trainingIds.push_back(entry.first);
    stored = NeighbourCategories::read(*connection, tableName, trainingIds);
  }
  size_t emptyVotes = 0;
  forEachNeighbourList(
      trainingModel, testingModel, k,
      [&](int32_t testingId, const std::vector<NeighbourEntry>& neighbours) {
        std::vector<CategoryVote> votes = tallyVotes(
            stored ? stored->of(neighbours)
                   : queryNeighbourCategories(
                         *connection, neighbourCategoriesQuery(
                                         tableName, formatIdList(neighbours, neighbours.size()))),
            categories);
        if (votes.front().votes == 0) ++emptyVotes;
        results.push_back({testingId, votes.front().category});
      });
  console().timingLine(kTimingLabel, clock.elapsedSeconds());
  console().flush();
  warnEmptyVotes(*this, emptyVotes, testingModel.size(), categories.front());
}

}  // namespace newsclass
