#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "corpusdb/database_fault.h"
#include "corpusdb/odbc_connection.h"
#include "processor/corpus_processor.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestArticle;
using testing::TestEnvironment;

const CategoryList kCategories = {"history",  "culture",     "reading",
                                  "military", "society&law", "entertainment"};

class TestSetRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<TestArticle> articles;
    for (int32_t id = 1; id <= 30; ++id) {
      WeightVector vector(4);
      for (double& w : vector) w = uniform(random) < 0.5 ? 0.0 : uniform(random);
      training[id] = vector;
      articles.push_back({id, "t", kCategories[(id * 7) % 6], "x"});
    }
    training[30] = training[12];  // a tie
    testing::insertArticles(env.environment.connectionString, "TrainingCorpus", articles);
    // Inserted out of id order; the model iterates in ascending id.
    for (int32_t id : {9, 2, 40, 5, 1, 33, 17}) {
      WeightVector vector(4);
      for (double& w : vector) w = uniform(random);
      testingModel[id] = vector;
    }
    testingModel[33].assign(4, 0.0);
  }

  // The timing line of the stage alone, with a number after the label.
  static bool isTimingLine(const std::string& output) {
    static const std::string kLabel = gbk("对测试集进行KNN分类的时间为");
    if (output.compare(0, kLabel.size(), kLabel) != 0 || output.back() != '\n') return false;
    std::string number = output.substr(kLabel.size(), output.size() - kLabel.size() - 1);
    return !number.empty() && number.find_first_not_of("0123456789.e-") == std::string::npos;
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 30);
  VsmModel training;
  VsmModel testingModel;
};

TEST_F(TestSetRunTest, EveryArticleIsClassifiedAsKnnClassifyDoesInAscendingId) {
  for (int k : {1, 3, 10, 30}) {
    ClassificationResults results;
    processor.knnClassifyTestSet("TrainingCorpus", training, testingModel, kCategories, k,
                                 results);
    EXPECT_TRUE(isTimingLine(env.takeOutput()));
    ASSERT_EQ(results.size(), testingModel.size());
    size_t i = 0;
    for (const auto& [id, vector] : testingModel) {
      EXPECT_EQ(results[i].articleId, id);
      EXPECT_EQ(results[i].predictedCategory,
                processor.knnClassify(k, "TrainingCorpus", vector, kCategories, training))
          << "article " << id << " K " << k;
      ++i;
    }
  }
}

TEST_F(TestSetRunTest, TwoRunsAppendToOneList) {
  ClassificationResults results = {{999, "culture"}};
  processor.knnClassifyTestSet("TrainingCorpus", training, testingModel, kCategories, 5, results);
  processor.knnClassifyTestSet("TrainingCorpus", training, testingModel, kCategories, 5, results);
  ASSERT_EQ(results.size(), 1 + 2 * testingModel.size());
  EXPECT_EQ(results[0], (ClassificationResult{999, "culture"}));
  for (size_t i = 0; i < testingModel.size(); ++i) {
    EXPECT_EQ(results[1 + i], results[1 + testingModel.size() + i]);
  }
  EXPECT_EQ(results[1].articleId, 1);
  EXPECT_EQ(results.back().articleId, 40);
}

TEST_F(TestSetRunTest, ArticlesWithoutAKeywordAreCountedInTheOneWarningAndStillLabelled) {
  // Article 33's weights are all 0 (no keyword with the tfidf weighting); article 9's vector is
  // taken as the default weighting's vector of an article without a keyword.
  const WeightVector keywordless = testingModel.at(9);
  ClassificationResults counted, plain;
  processor.knnClassifyTestSet("TrainingCorpus", training, testingModel, kCategories, 3, counted,
                               &keywordless);
  EXPECT_EQ(env.warnings.str(), "classification: 2 of 7 testing articles hold no keyword; their "
                                "neighbours are those of any text without one\n");
  env.warnings.str("");
  processor.knnClassifyTestSet("TrainingCorpus", training, testingModel, kCategories, 3, plain);
  EXPECT_EQ(env.warnings.str(), "classification: 1 of 7 testing articles hold no keyword; their "
                                "neighbours are those of any text without one\n");
  EXPECT_EQ(counted, plain);  // the labels follow the usual rule
  env.warnings.str("");
  // Both kinds of guessed labels share the one line.
  ClassificationResults unlisted;
  processor.knnClassifyTestSet("TrainingCorpus", training, testingModel, {"nosuch"}, 3, unlisted,
                               &keywordless);
  EXPECT_EQ(env.warnings.str(), "classification: 2 of 7 testing articles hold no keyword; their "
                                "neighbours are those of any text without one; 7 of 7 testing "
                                "articles had no neighbour with a listed category and took the "
                                "first, nosuch\n");
  env.takeOutput();
}

TEST_F(TestSetRunTest, EmptyTestingModelStillPrintsTheTimingLine) {
  ClassificationResults results = {{3, "reading"}};
  processor.knnClassifyTestSet("TrainingCorpus", training, {}, kCategories, 3, results);
  EXPECT_EQ(results, (ClassificationResults{{3, "reading"}}));
  EXPECT_TRUE(isTimingLine(env.takeOutput()));
}

TEST(TestSetFaultTest, DatabaseFaultKeepsEarlierEntriesAndPrintsNoTimingLine) {
  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 2);
  testing::insertArticles(env.environment.connectionString, "TrainingCorpus",
                          {{1, "t", "history", "x"}, {2, "t", "culture", "x"}});
  {
    OdbcConnection connection(env.environment.connectionString, "test setup");
    connection.executeStatement("UPDATE TrainingCorpus SET Categorization = NULL WHERE ArticleId = 2");
  }
  VsmModel training = {{1, {1.0, 0.0}}, {2, {0.0, 1.0}}};
  VsmModel testingModel = {{1, {1.0, 0.1}}, {2, {0.1, 1.0}}, {3, {1.0, 0.0}}};
  ClassificationResults results;
  // The second article's only neighbour has a NULL category: reading it is a fault.
  EXPECT_THROW(processor.knnClassifyTestSet("TrainingCorpus", training, testingModel,
                                            kCategories, 1, results),
               DatabaseFault);
  EXPECT_EQ(results, (ClassificationResults{{1, "history"}}));
  EXPECT_EQ(env.takeOutput(), "");
}

}  // namespace
}  // namespace newsclass
