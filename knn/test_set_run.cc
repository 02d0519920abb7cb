#include "knn/test_set_run.h"

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>

#include "base/encoding.h"
#include "base/parallel.h"
#include "base/stage_clock.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "knn/category_check.h"
#include "knn/neighbour_categories.h"
#include "knn/neighbour_index.h"
#include "knn/neighbour_vote.h"

namespace newsclass {
namespace {

// One line for all articles whose label says nothing about them: those that hold no keyword
// (their vector has no direction of their own, so their neighbours are those of every such
// article) and those whose neighbours have no listed category (the vote rule gives them the
// first listed category). Their labels stay as the rules give them.
void warnGuessedLabels(const StageEnvironment& environment, size_t keywordless, size_t emptyVotes,
                       size_t articles, const std::string& firstCategory) {
  if (keywordless == 0 && emptyVotes == 0) return;
  std::ostream& out = environment.warnings;
  out << "classification: ";
  if (keywordless > 0) {
    out << keywordless << " of " << articles
        << " testing articles hold no keyword; their neighbours are those of any text without one";
    if (emptyVotes > 0) out << "; ";
  }
  if (emptyVotes > 0) {
    out << emptyVotes << " of " << articles
        << " testing articles had no neighbour with a listed category and took the first, "
        << textForMessages(environment, firstCategory);
  }
  out << "\n";
}

bool holdsNoKeyword(const WeightVector& vector, const WeightVector* keywordless) {
  if (keywordless != nullptr && vector == *keywordless) return true;
  return std::all_of(vector.begin(), vector.end(), [](double weight) { return weight == 0.0; });
}

}  // namespace

void forEachNeighbourList(const VsmModel& trainingModel, const VsmModel& testingModel, int k,
                          const NeighbourVisitor& visit, int threads) {
  const NeighbourIndex index(trainingModel, threads);
  std::vector<std::pair<int32_t, const WeightVector*>> testing;
  testing.reserve(testingModel.size());
  for (const auto& [id, vector] : testingModel) testing.emplace_back(id, &vector);
  // Rounds of kTask testing vectors per task and a few tasks per thread: the lists of a round
  // are found side by side and then handed on in ascending id.
  constexpr size_t kTask = 16;
  const size_t lanes = static_cast<size_t>(std::max(1, threads));
  const size_t round = kTask * lanes * 4;
  std::vector<NeighbourIndex::Scratch> scratch(lanes);
  std::vector<std::vector<NeighbourEntry>> lists(std::min(round, testing.size()));
  for (size_t first = 0; first < testing.size(); first += round) {
    const size_t count = std::min(round, testing.size() - first);
    runInParallel(threads, (count + kTask - 1) / kTask, [&](size_t task, size_t lane) {
      for (size_t t = task * kTask; t < std::min(count, (task + 1) * kTask); ++t) {
        index.nearest(*testing[first + t].second, k, scratch[lane], lists[t]);
      }
    });
    for (size_t t = 0; t < count; ++t) visit(testing[first + t].first, lists[t]);
  }
}

void knnClassifyTestSet(const StageEnvironment& environment, bool similarityVote,
                        const std::string& tableName, const VsmModel& trainingModel,
                        const VsmModel& testingModel, const CategoryList& categories, int k,
                        ClassificationResults& results, const WeightVector* keywordless) {
  StageClock clock;
  checkKnnRequest(k, categories, trainingModel.size());
  checkTableName(tableName);
  size_t dimension = checkTrainingModel(trainingModel);
  for (const auto& [id, vector] : testingModel) {
    checkTestingVector(testingArticleName(id), vector, dimension);
  }
  std::vector<int32_t> trainingIds;
  trainingIds.reserve(trainingModel.size());
  for (const auto& entry : trainingModel) trainingIds.push_back(entry.first);
  voteOnNeighbourLists(
      environment, similarityVote, tableName, trainingIds, testingModel, categories,
      [&](const NeighbourVisitor& visit) {
        forEachNeighbourList(trainingModel, testingModel, k, visit, environment.threads);
      },
      results, keywordless, clock);
}

void voteOnNeighbourLists(const StageEnvironment& environment, bool similarityVote,
                          const std::string& tableName, const std::vector<int32_t>& trainingIds,
                          const VsmModel& testingModel, const CategoryList& categories,
                          const NeighbourListSource& lists, ClassificationResults& results,
                          const WeightVector* keywordless, const StageClock& clock) {
  static const std::string kTimingLabel = gbk("对测试集进行KNN分类的时间为");
  // The neighbours' categories come from one read of the training articles' categories; where
  // that read declines, from one neighbour query per testing article. The queries share one
  // connection: opening a connection costs more than the query itself, and the rows are the
  // same. The article's entry is appended before the next article is looked at, so a database
  // fault keeps earlier entries.
  std::optional<OdbcConnection> connection;
  std::optional<NeighbourCategories> stored;
  if (!testingModel.empty()) {
    connection.emplace(environment.connectionString, "knnClassify");
    stored = NeighbourCategories::read(*connection, tableName, trainingIds);
  }
  size_t emptyVotes = 0;
  size_t keywordlessArticles = 0;
  for (const auto& [id, vector] : testingModel) keywordlessArticles += holdsNoKeyword(vector, keywordless);
  const bool bySimilarity = similarityVote;
  if (environment.progress != nullptr) environment.console->flush();
  ProgressMeter progress(environment.progress, "classification",
                         static_cast<int64_t>(testingModel.size()));
  lists([&](int32_t testingId, const std::vector<NeighbourEntry>& neighbours) {
    std::vector<CategoryVote> votes =
        bySimilarity
            ? tallySimilarityVotes(
                  stored ? stored->withSimilarities(neighbours)
                         : queryEachNeighbourCategory(*connection, tableName, neighbours),
                  categories)
            : tallyVotes(stored ? stored->of(neighbours)
                                : queryNeighbourCategories(
                                      *connection,
                                      neighbourCategoriesQuery(
                                          tableName, formatIdList(neighbours, neighbours.size()))),
                         categories);
    if (votes.front().votes == 0) ++emptyVotes;
    results.push_back({testingId, votes.front().category});
    progress.advance();
  });
  progress.finish();
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
  environment.console->flush();
  warnGuessedLabels(environment, keywordlessArticles, emptyVotes, testingModel.size(), categories.front());
}

}  // namespace newsclass
