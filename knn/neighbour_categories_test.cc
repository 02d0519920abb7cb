#include "knn/neighbour_categories.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "knn/neighbour_vote.h"
#include "processor/corpus_processor.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;

std::vector<std::string> sorted(std::vector<std::string> values) {
  std::sort(values.begin(), values.end());
  return values;
}

// A table whose ArticleId column has no declared type, so that an id stored as 7.0 matches the
// literal 7 but reads back as "7.0".
void createLooseTable(const std::string& connectionString) {
  OdbcConnection connection(connectionString, "test setup");
  connection.executeStatement(
      "CREATE TABLE Loose (ArticleId, CArticleName TEXT, Categorization TEXT, CAbstract TEXT)");
  connection.executeStatement(
      "INSERT INTO Loose VALUES (1, 't', 'history', 'x'), (2, 't', ' culture ', 'x'), "
      "(2, 't', 'reading', 'x'), (7.0, 't', 'military', 'x')");
}

TEST(NeighbourCategoriesTest, GivesTheRowsOfEachNeighbourQuery) {
  TestEnvironment env;
  testing::insertArticles(env.environment.connectionString, "TrainingCorpus",
                          {{1, "t", "history", "x"}, {2, "t", "culture", "x"},
                           {3, "t", "history", "x"}, {900, "t", "reading", "x"}});
  OdbcConnection connection(env.environment.connectionString, "test");
  std::vector<int32_t> ids;
  for (int32_t id = 1; id <= 1200; ++id) ids.push_back(id);  // more than one query's worth
  std::optional<NeighbourCategories> cache =
      NeighbourCategories::read(connection, "TrainingCorpus", ids);
  ASSERT_TRUE(cache.has_value());
  for (std::vector<NeighbourEntry> neighbours :
       {std::vector<NeighbourEntry>{{1, 0.9}, {3, 0.5}}, {{900, 0.1}, {2, 0.0}, {55, 0.0}}}) {
    EXPECT_EQ(sorted(cache->of(neighbours)),
              sorted(queryNeighbourCategories(
                  connection, neighbourCategoriesQuery("TrainingCorpus",
                                                       formatIdList(neighbours, neighbours.size())))));
  }
}

TEST(NeighbourCategoriesTest, RepeatedIdsCountEveryRow) {
  TestEnvironment env;
  createLooseTable(env.environment.connectionString);
  OdbcConnection connection(env.environment.connectionString, "test");
  std::optional<NeighbourCategories> cache = NeighbourCategories::read(connection, "Loose", {1, 2});
  ASSERT_TRUE(cache.has_value());
  EXPECT_EQ(sorted(cache->of({{2, 0.5}, {1, 0.2}})),
            (std::vector<std::string>{" culture ", "history", "reading"}));
}

TEST(NeighbourCategoriesTest, DeclinesIdsThatComeBackInAnotherForm) {
  TestEnvironment env;
  createLooseTable(env.environment.connectionString);
  OdbcConnection connection(env.environment.connectionString, "test");
  EXPECT_FALSE(NeighbourCategories::read(connection, "Loose", {1, 2, 7}).has_value());
  // The test-set run then asks per article and still finds the row of id 7.
  CorpusProcessor processor = env.processor(1, 7);
  VsmModel training = {{1, {1.0, 0.0}}, {7, {0.0, 1.0}}};
  ClassificationResults results;
  processor.knnClassifyTestSet("Loose", training, {{5, {0.1, 1.0}}}, {"history", "military"}, 1,
                               results);
  EXPECT_EQ(results, (ClassificationResults{{5, "military"}}));
}

}  // namespace
}  // namespace newsclass
