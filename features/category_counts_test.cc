#include <gtest/gtest.h>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::insertArticles;
using testing::TestEnvironment;

TEST(CategoryCountsTest, CountsEveryRowOfTheCategoryInTheTable) {
  TestEnvironment env;
  insertArticles(env.environment.connectionString, "TrainingCorpus",
                 {{1, "t", "history", "x"},
                  {2, "t", "history", "x"},
                  {7000, "t", "history", "x"},  // outside the processor's range, still counted
                  {3, "t", "it's", "x"},
                  {4, "t", gbk("军事"), "x"}});
  insertArticles(env.environment.connectionString, "TestingCorpus", {{1, "t", "history", "x"}});
  CorpusProcessor processor = env.processor(1, 6000);
  EXPECT_EQ(processor.countCategoryArticles("history", "TrainingCorpus"), 3.0);
  EXPECT_EQ(processor.countCategoryArticles("history", "TestingCorpus"), 1.0);
  EXPECT_EQ(processor.countCategoryArticles("it's", "TrainingCorpus"), 1.0);
  EXPECT_EQ(processor.countCategoryArticles("culture", "TrainingCorpus"), 0.0);
  EXPECT_THROW(processor.countCategoryArticles("history", "TrainingCorpus;"), UsageError);
  EXPECT_EQ(env.takeOutput(), "");
}

}  // namespace
}  // namespace newsclass
