#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::insertArticles;
using testing::TestEnvironment;

class CategoryArticlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    insertArticles(env.environment.connectionString, "TrainingCorpus",
                   {{3, "t", "history", "x"},
                    {7, "t", "history", "x"},
                    {8, "t", "culture", "x"},
                    {9000, "t", "history", "x"},
                    {11, "t", "it's", "x"},
                    {12, "t", gbk("军事"), "x"}});
    insertArticles(env.environment.connectionString, "TestingCorpus", {{1, "t", "reading", "x"}});
  }
  // A processor whose range covers none of the rows: the sets ignore the range.
  CorpusProcessor processor() { return env.processor(1, 2); }
  TestEnvironment env;
};

TEST_F(CategoryArticlesTest, EveryRowOfTheCategoryWhateverItsId) {
  CategoryArticles result;
  EXPECT_TRUE(
      processor().collectCategoryArticles({"history", "reading"}, "TrainingCorpus", result));
  // "reading" has rows only in the other table, so it is left out.
  const CategoryArticles expected = {{"history", {3, 7, 9000}}};
  EXPECT_EQ(result, expected);
  EXPECT_EQ(env.takeOutput(), "");
}

TEST_F(CategoryArticlesTest, NamesWithQuotesAreMatchedExactly) {
  CategoryArticles result;
  EXPECT_TRUE(
      processor().collectCategoryArticles({"it's", "it", "it''s"}, "TrainingCorpus", result));
  const CategoryArticles expected = {{"it's", {11}}};
  EXPECT_EQ(result, expected);
}

// The category name is inserted into the query text, which must reach the driver intact even
// when the driver (SQLite's) has only narrow entry points.
TEST_F(CategoryArticlesTest, GbkNamesAreMatchedExactly) {
  CategoryArticles result;
  EXPECT_TRUE(
      processor().collectCategoryArticles({gbk("军事"), gbk("军")}, "TrainingCorpus", result));
  const CategoryArticles expected = {{gbk("军事"), {12}}};
  EXPECT_EQ(result, expected);
}

TEST_F(CategoryArticlesTest, EntriesAreOrderedByNameAndRepeatsQueryAgain) {
  CategoryArticles result;
  EXPECT_TRUE(processor().collectCategoryArticles({"history", "culture", "history"},
                                                  "TrainingCorpus", result));
  std::vector<std::string> names;
  for (const auto& entry : result) names.push_back(entry.first);
  EXPECT_EQ(names, (std::vector<std::string>{"culture", "history"}));
  EXPECT_EQ(result.at("history"), (std::vector<int32_t>{3, 7, 9000}));
}

TEST_F(CategoryArticlesTest, ExtendsTheCallersMap) {
  CategoryArticles result = {{"history", {1, 2}}, {"sports", {5}}};
  EXPECT_TRUE(processor().collectCategoryArticles({"history"}, "TrainingCorpus", result));
  const CategoryArticles expected = {{"history", {3, 7, 9000}}, {"sports", {5}}};
  EXPECT_EQ(result, expected);
}

TEST_F(CategoryArticlesTest, NoRowsLeavesTheMapAsItWas) {
  CategoryArticles result;
  EXPECT_FALSE(
      processor().collectCategoryArticles({"reading", "sports"}, "TrainingCorpus", result));
  EXPECT_TRUE(result.empty());
  result["sports"] = {5};
  EXPECT_TRUE(processor().collectCategoryArticles({"reading"}, "TrainingCorpus", result));
  EXPECT_EQ(result.size(), 1u);
  CategoryArticles none;
  EXPECT_FALSE(processor().collectCategoryArticles({}, "TrainingCorpus", none));
}

TEST_F(CategoryArticlesTest, ReadsTheTableItIsGiven) {
  CategoryArticles result;
  EXPECT_TRUE(processor().collectCategoryArticles({"reading", "history"}, "TestingCorpus", result));
  const CategoryArticles expected = {{"reading", {1}}};
  EXPECT_EQ(result, expected);
  EXPECT_THROW(processor().collectCategoryArticles({"history"}, "Training Corpus", result),
               UsageError);
}

}  // namespace
}  // namespace newsclass
