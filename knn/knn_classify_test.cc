#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/errors.h"
#include "corpusdb/database_fault.h"
#include "knn/neighbour_vote.h"
#include "processor/corpus_processor.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestArticle;
using testing::TestEnvironment;

const CategoryList kCategories = {"history",  "culture",     "reading",
                                  "military", "society&law", "entertainment"};
const WeightVector kQuery = {1.0, 0.0};

// A training vector whose similarity to kQuery falls with `rank` (rank 0 is the most similar).
WeightVector atRank(int rank) { return {1.0, 0.25 * rank}; }

class KnnClassifyTest : public ::testing::Test {
 protected:
  // Stores the articles in TrainingCorpus and returns a model ranking them in the given order.
  VsmModel store(const std::vector<std::pair<int32_t, std::string>>& ranked,
                 const std::vector<int32_t>& notInTable = {}) {
    std::vector<TestArticle> articles;
    VsmModel model;
    int rank = 0;
    for (const auto& [id, category] : ranked) {
      model[id] = atRank(rank++);
      if (std::find(notInTable.begin(), notInTable.end(), id) == notInTable.end()) {
        articles.push_back({id, "title", category, "text"});
      }
    }
    testing::insertArticles(env.environment.connectionString, "TrainingCorpus", articles);
    return model;
  }

  std::string classify(int k, const VsmModel& model, const WeightVector& query = kQuery) {
    return processor.knnClassify(k, "TrainingCorpus", query, kCategories, model);
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 100);
};

TEST_F(KnnClassifyTest, TiedVotesGoToTheCategoryListedFirst) {
  VsmModel model = store({{1, "culture"}, {2, "history"}, {3, "culture"}, {4, "history"},
                          {5, "reading"}, {6, "reading"}});
  EXPECT_EQ(classify(4, model), "history");
  EXPECT_EQ(classify(1, model), "culture");
  EXPECT_EQ(classify(3, model), "culture");
}

TEST_F(KnnClassifyTest, NoListedCategoryGivesTheFirstOfTheList) {
  VsmModel model = store({{1, "sports"}, {2, "History"}, {3, "finance"}});
  EXPECT_EQ(classify(3, model), "history");
}

TEST_F(KnnClassifyTest, StoredCategoriesAreComparedWithoutSurroundingBlanks) {
  VsmModel model = store({{1, "military  "}, {2, "  military"}, {3, "culture"}, {4, "culture"}});
  EXPECT_EQ(classify(3, model), "military");
}

TEST_F(KnnClassifyTest, KEqualToAllTrainingVectorsCountsEveryArticle) {
  VsmModel model = store({{1, "history"}, {2, "history"}, {3, "reading"}, {4, "reading"},
                          {5, "reading"}});
  EXPECT_EQ(classify(2, model), "history");
  EXPECT_EQ(classify(5, model), "reading");
}

TEST_F(KnnClassifyTest, IdsMissingFromTheTableCountForNothing) {
  VsmModel model =
      store({{1, "military"}, {2, "military"}, {3, "culture"}, {4, "military"}}, {1, 2});
  EXPECT_EQ(processor.fetchNeighbourCategories("(1,2,3)", "TrainingCorpus"),
            std::vector<std::string>{"culture"});
  EXPECT_EQ(classify(3, model), "culture");
}

TEST_F(KnnClassifyTest, EqualSimilarityForTheLastPlaceTakesTheLowerId) {
  VsmModel model = store({{1, "military"}, {3, "culture"}, {7, "military"}});
  model[7] = model[3];  // 3 and 7 tie for the second place
  EXPECT_EQ(classify(2, model), "culture");  // military (1) and culture (3): list order decides
  KnnExplanation explanation =
      explainKnnClassification(processor.environment(), processor.environment().similarityVote, 2, "TrainingCorpus", 5, kQuery, kCategories, model);
  ASSERT_EQ(explanation.neighbours.size(), 2u);
  EXPECT_EQ(explanation.neighbours[0].articleId, 1);
  EXPECT_EQ(explanation.neighbours[1].articleId, 3);
}

TEST_F(KnnClassifyTest, ZeroTestingVectorTakesTheLowestIds) {
  VsmModel model = store({{8, "reading"}, {2, "society&law"}, {5, "society&law"}, {1, "reading"}});
  // Every similarity is 0, so the neighbours are the lowest ids: 1 and 2.
  KnnExplanation explanation = explainKnnClassification(processor.environment(), processor.environment().similarityVote, 2, "TrainingCorpus", 9,
                                                        {0.0, 0.0}, kCategories, model);
  ASSERT_EQ(explanation.neighbours.size(), 2u);
  EXPECT_EQ(explanation.neighbours[0].articleId, 1);
  EXPECT_EQ(explanation.neighbours[1].articleId, 2);
  EXPECT_EQ(explanation.neighbours[0].similarity, 0.0);
  EXPECT_EQ(classify(2, model, {0.0, 0.0}), "reading");
}

TEST_F(KnnClassifyTest, IdListFollowsTheSimilarityOrder) {
  VsmModel model = {{4, atRank(1)}, {17, atRank(0)}, {250, atRank(2)}, {300, atRank(3)}};
  EXPECT_EQ(formatIdList(rankNeighbours(kQuery, model), 3), "(17,4,250)");
}

TEST_F(KnnClassifyTest, ExplanationShowsNeighboursStoredCategoriesAndVotes) {
  VsmModel model = store({{1, "culture "}, {2, "history"}, {3, "culture"}, {4, "sports"}}, {2});
  KnnExplanation explanation =
      explainKnnClassification(processor.environment(), processor.environment().similarityVote, 4, "TrainingCorpus", 5, kQuery, kCategories, model);
  EXPECT_EQ(explanation.predicted, "culture");
  ASSERT_EQ(explanation.neighbours.size(), 4u);
  EXPECT_EQ(explanation.storedCategories,
            (std::vector<std::string>{"culture", "", "culture", "sports"}));
  EXPECT_EQ(explanation.found, (std::vector<bool>{true, false, true, true}));
  EXPECT_NEAR(explanation.neighbours[0].similarity, 1.0, 1e-15);
  ASSERT_EQ(explanation.votes.size(), kCategories.size());
  EXPECT_EQ(explanation.votes[0].category, "culture");
  EXPECT_EQ(explanation.votes[0].votes, 2);
  EXPECT_EQ(explanation.votes[1].category, "history");  // zero votes keep the list order
  EXPECT_EQ(explanation.votes[1].votes, 0);
  EXPECT_EQ(explanation.votes[5].category, "entertainment");
}

TEST(KnnVoteTest, VotesAreCountedOverTheListAndSortedStably) {
  std::vector<CategoryVote> votes =
      tallyVotes({"culture", " history ", "culture", "history", "Culture", ""}, kCategories);
  ASSERT_EQ(votes.size(), 6u);
  EXPECT_EQ(votes[0].category, "history");
  EXPECT_EQ(votes[0].votes, 2);
  EXPECT_EQ(votes[1].category, "culture");
  EXPECT_EQ(votes[1].votes, 2);
  EXPECT_EQ(votes[2].category, "reading");
  EXPECT_EQ(votes[2].votes, 0);
}

TEST(KnnVoteTest, ASimilarityVoteCanOverturnTheCount) {
  // history has two neighbours, culture one nearer than both together.
  const std::vector<std::pair<std::string, double>> neighbours = {
      {"culture", 0.9}, {" history", 0.5}, {"history ", 0.3}, {"unlisted", 5.0}};
  std::vector<std::string> categoriesOnly;
  for (const auto& entry : neighbours) categoriesOnly.push_back(entry.first);
  EXPECT_EQ(tallyVotes(categoriesOnly, kCategories).front().category, "history");
  const std::vector<CategoryVote> votes = tallySimilarityVotes(neighbours, kCategories);
  ASSERT_EQ(votes.size(), 6u);
  EXPECT_EQ(votes[0].category, "culture");
  EXPECT_EQ(votes[0].votes, 1);
  EXPECT_EQ(votes[0].weight, 0.9);
  EXPECT_EQ(votes[1].category, "history");
  EXPECT_EQ(votes[1].votes, 2);
  EXPECT_EQ(votes[1].weight, 0.5 + 0.3);
  EXPECT_EQ(voteShare(votes, 4, true), 0.9 / (0.9 + (0.5 + 0.3)));
  EXPECT_EQ(voteShare(tallyVotes(categoriesOnly, kCategories), 4, false), 0.5);
  // Equal sums go to the category listed first.
  const std::vector<CategoryVote> tied =
      tallySimilarityVotes({{"reading", 0.25}, {"culture", 0.125}, {"culture", 0.125}}, kCategories);
  EXPECT_EQ(tied[0].category, "culture");
  EXPECT_EQ(tied[1].category, "reading");
}

// A bad request is refused before anything else happens: no database is reached (the
// connection string names no driver) and nothing is printed.
TEST(KnnRequestTest, KOutOfRangeAndEmptyCategoriesAreUsageErrorsBeforeAnyWork) {
  TestEnvironment env;
  env.environment.connectionString = "Driver=NoSuchDriver;Database=none";
  CorpusProcessor processor = env.processor(1, 3);
  VsmModel training = {{1, {1.0}}, {2, {0.5}}, {3, {0.2}}};
  VsmModel testing = {{1, {1.0}}};
  ClassificationResults results;
  for (int k : {0, -1, 4}) {
    EXPECT_THROW(processor.knnClassify(k, "TrainingCorpus", {1.0}, kCategories, training),
                 UsageError);
    EXPECT_THROW(
        processor.knnClassifyTestSet("TrainingCorpus", training, testing, kCategories, k, results),
        UsageError);
  }
  EXPECT_THROW(processor.knnClassify(1, "TrainingCorpus", {1.0}, {}, training), UsageError);
  EXPECT_THROW(processor.knnClassifyTestSet("TrainingCorpus", training, testing, {}, 1, results),
               UsageError);
  EXPECT_THROW(processor.knnClassifyTestSet("TrainingCorpus", {}, testing, kCategories, 1, results),
               UsageError);
  EXPECT_THROW(processor.knnClassify(1, "Training Corpus", {1.0}, kCategories, training),
               UsageError);
  EXPECT_TRUE(results.empty());
  EXPECT_EQ(env.takeOutput(), "");
  // With a valid request the missing driver is reached and reported as a database fault.
  EXPECT_THROW(processor.knnClassify(3, "TrainingCorpus", {1.0}, kCategories, training),
               DatabaseFault);
}

TEST(KnnRequestTest, VectorsOfDifferentLengthsAreRefused) {
  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 3);
  VsmModel training = {{1, {1.0, 0.0}}, {2, {0.5, 0.5}}};
  EXPECT_THROW(processor.knnClassify(1, "TrainingCorpus", {1.0}, kCategories, training),
               DataFileError);
  EXPECT_THROW(processor.knnClassify(1, "TrainingCorpus", {1.0, 0.0, 0.0}, kCategories, training),
               DataFileError);
  training[3] = {1.0};
  EXPECT_THROW(processor.knnClassify(1, "TrainingCorpus", {1.0, 0.0}, kCategories, training),
               DataFileError);
  training[3] = {NAN, 1.0};
  EXPECT_THROW(processor.knnClassify(1, "TrainingCorpus", {1.0, 0.0}, kCategories, training),
               DataFileError);
  ClassificationResults results;
  try {
    processor.knnClassifyTestSet("TrainingCorpus", {{1, {1.0, 0.0}}}, {{12, {1.0}}}, kCategories,
                                 1, results);
    FAIL() << "a testing vector of another length was accepted";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "testing article 12 has 1 weights, the training vectors have 2 (both models must "
              "be built over the same keyword file)");
  }
}

}  // namespace
}  // namespace newsclass
