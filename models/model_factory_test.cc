// The factory on a small data folder written here: each classifier loaded from a description
// answers words as its kind does, and an unknown kind or a missing file is refused by name.
#include "models/model_factory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "dictionary/dictionary_file.h"
#include "linear/linear_model.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// Training articles 1 and 2 are "a" and hold "apple"; 3 and 4 are "b" and hold "ball"; every
// article holds "cat", which is no keyword. The KNN's training vectors lie near the axes of
// the keywords apple and ball; the linear machines learn the same split.
class ModelFactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The KNN's binary copy of the training vectors would land in the user's cache folder.
    const char* old = std::getenv("NEWSCLASS_LEXICON_CACHE");
    oldCacheSetting_ = old == nullptr ? "" : old;
    hadCacheSetting_ = old != nullptr;
    setenv("NEWSCLASS_LEXICON_CACHE", "off", 1);

    testing::insertArticles(env.environment.connectionString, "TrainingCorpus",
                            {{1, "t", "a", "x"}, {2, "t", "a", "x"}, {3, "t", "b", "x"},
                             {4, "t", "b", "x"}});
    saveDictionary({{"apple", {{1, 1}, {2, 2}}},
                    {"ball", {{3, 1}, {4, 1}}},
                    {"cat", {{1, 1}, {2, 1}, {3, 1}, {4, 1}}}},
                   env.dir.file("dict.dat"));
    testing::writeFileBytes(env.dir.file("keywords.dat"), "apple ball\n");
    testing::writeFileBytes(env.dir.file("trainingVSM.dat"),
                            "1\n2\n1 0 \n2\n2\n0.9 0.1 \n3\n2\n0 1 \n4\n2\n0.1 0.9 \n");
    LinearModel::train({{{0, 1.0}}, {{0, 0.8}}, {{1, 1.0}}, {{1, 0.7}}}, {0, 0, 1, 1}, 2, {1.0})
        .save(env.dir.file("linear.model"));
  }
  void TearDown() override {
    if (hadCacheSetting_) {
      setenv("NEWSCLASS_LEXICON_CACHE", oldCacheSetting_.c_str(), 1);
    } else {
      unsetenv("NEWSCLASS_LEXICON_CACHE");
    }
  }

  ModelDescription description(const std::string& classifier) const {
    ModelDescription made;
    made.classifier = classifier;
    made.k = 3;
    made.weighting = Weighting::kTfidf;
    made.files = {env.dir.file("dict.dat"), env.dir.file("keywords.dat"),
                  env.dir.file("trainingVSM.dat"), env.dir.file("testingVSM.dat"),
                  env.dir.file("linear.model")};
    made.categories = {"a", "b"};
    made.range = {1, 4};
    return made;
  }

  ModelAnswer answer(const Model& model, const WordList& words) {
    const std::unique_ptr<Model::Scratch> scratch = model.makeScratch();
    return model.answer(words, *scratch, false);
  }

  testing::TestEnvironment env;
  std::string oldCacheSetting_;
  bool hadCacheSetting_ = false;
};

TEST_F(ModelFactoryTest, TheKnnAnswersWithItsVoteSharesAndNeighbours) {
  const std::unique_ptr<Model> model = loadModel(description("knn"), env.environment);
  const ModelAnswer apple = answer(*model, {"apple", "cat"});
  ASSERT_TRUE(apple.labelled);
  EXPECT_EQ(apple.category, "a");
  EXPECT_EQ(apple.score, 2.0 / 3);
  ASSERT_EQ(apple.scores.size(), 2u);
  EXPECT_EQ(apple.scores[0].category, "a");
  EXPECT_EQ(apple.scores[0].score, 2.0 / 3);
  EXPECT_EQ(apple.scores[1].category, "b");
  EXPECT_EQ(apple.scores[1].score, 1.0 / 3);
  // tfidf weighs apple alone: the vector (w, 0), nearest to 1, then 2, then 4.
  ASSERT_EQ(apple.neighbours.size(), 3u);
  EXPECT_EQ(apple.neighbours[0].articleId, 1);
  EXPECT_EQ(apple.neighbours[0].similarity, 1.0);
  EXPECT_EQ(apple.neighbours[1].articleId, 2);
  EXPECT_EQ(apple.neighbours[2].articleId, 4);
  EXPECT_EQ(answer(*model, {"ball"}).category, "b");
  // No keyword: no label, score 0, nothing else.
  const ModelAnswer none = answer(*model, {"cat", "zebra"});
  EXPECT_FALSE(none.labelled);
  EXPECT_EQ(none.category, "");
  EXPECT_EQ(none.score, 0.0);
  EXPECT_TRUE(none.scores.empty());
  EXPECT_TRUE(none.neighbours.empty());
}

TEST_F(ModelFactoryTest, TheSimilarityVoteScoresByEachCategorysShareOfTheSimilarities) {
  ModelDescription similarity = description("knn");
  similarity.similarityVote = true;
  const ModelAnswer apple = answer(*loadModel(similarity, env.environment), {"apple"});
  ASSERT_EQ(apple.neighbours.size(), 3u);
  const double total = apple.neighbours[0].similarity + apple.neighbours[1].similarity +
                       apple.neighbours[2].similarity;
  EXPECT_EQ(apple.category, "a");
  ASSERT_EQ(apple.scores.size(), 2u);
  EXPECT_EQ(apple.scores[0].score,
            (apple.neighbours[0].similarity + apple.neighbours[1].similarity) / total);
  EXPECT_EQ(apple.scores[1].score, apple.neighbours[2].similarity / total);
  EXPECT_EQ(apple.score, apple.scores[0].score);
}

TEST_F(ModelFactoryTest, TheLinearModelAnswersWithEveryCategorysDecisionValue) {
  const std::unique_ptr<Model> model = loadModel(description("linear"), env.environment);
  for (const auto& [word, expected] : {std::pair{"apple", "a"}, std::pair{"ball", "b"}}) {
    const ModelAnswer answered = answer(*model, {word, "cat"});
    ASSERT_TRUE(answered.labelled) << word;
    EXPECT_EQ(answered.category, expected);
    ASSERT_EQ(answered.scores.size(), 2u);
    EXPECT_EQ(answered.scores[0].category, expected);
    EXPECT_EQ(answered.score, answered.scores[0].score);
    EXPECT_GT(answered.scores[0].score, answered.scores[1].score);
    EXPECT_TRUE(answered.neighbours.empty());
  }
  EXPECT_FALSE(answer(*model, {"cat"}).labelled);
}

TEST_F(ModelFactoryTest, EachKindSaysWhatItReadsAndWhichChoicesApply) {
  EXPECT_EQ(classifierNames(), (std::vector<std::string>{"knn", "linear", "logistic"}));
  const ModelFiles files = description("knn").files;
  const Classifier& knn = classifierNamed("knn");
  EXPECT_TRUE(knn.answersByNeighbours());
  EXPECT_EQ(knn.ownWeighting(), "");
  EXPECT_EQ(knn.modelFiles(files),
            (std::vector<std::string>{files.dictionary, files.keywords, files.trainingVectors}));
  EXPECT_EQ(knn.testSetFiles(files),
            (std::vector<std::string>{files.trainingVectors, files.testingVectors}));
  const Classifier& linear = classifierNamed("linear");
  EXPECT_FALSE(linear.answersByNeighbours());
  EXPECT_EQ(linear.ownWeighting(), "tfidf");
  EXPECT_EQ(linear.modelFiles(files),
            (std::vector<std::string>{files.dictionary, files.keywords, files.linearModel}));
  EXPECT_EQ(linear.writtenFiles(files), std::vector<std::string>{files.linearModel});
  ModelDescription knnRequest = description("knn");
  knnRequest.k = 0;
  EXPECT_THROW(knn.checkTestSetRequest(knnRequest), UsageError);
  knnRequest.similarityVote = true;
  knnRequest.k = 7;
  EXPECT_EQ(knn.facts(knnRequest),
            (std::vector<std::pair<std::string, std::string>>{
                {"classifier", "knn"}, {"k", "7"}, {"vote", "similarity"}}));
  ModelDescription linearRequest = description("linear");
  linearRequest.cost = 0.25;
  EXPECT_EQ(linear.facts(linearRequest),
            (std::vector<std::pair<std::string, std::string>>{{"classifier", "linear"},
                                                              {"c", "0.25"}}));
  // Logistic regression reads and writes what the SVMs do; balanced class weights are recorded,
  // and refused for the KNN, which has none.
  const Classifier& logistic = classifierNamed("logistic");
  EXPECT_FALSE(logistic.answersByNeighbours());
  EXPECT_EQ(logistic.modelFiles(files), linear.modelFiles(files));
  ModelDescription logisticRequest = description("logistic");
  logisticRequest.cost = 10;
  logisticRequest.balancedClassWeights = true;
  EXPECT_EQ(logistic.facts(logisticRequest),
            (std::vector<std::pair<std::string, std::string>>{
                {"classifier", "logistic"}, {"c", "10"}, {"class_weight", "balanced"}}));
  knnRequest.balancedClassWeights = true;
  EXPECT_THROW(knn.checkTestSetRequest(knnRequest), UsageError);
}

TEST_F(ModelFactoryTest, AnUnknownKindIsRefusedByName) {
  try {
    loadModel(description("svm"), env.environment);
    FAIL() << "svm was loaded";
  } catch (const UsageError& error) {
    EXPECT_STREQ(error.what(),
                 "classifier svm: unknown; the classifiers are knn, linear and logistic");
  }
  EXPECT_THROW(classifierNamed(""), UsageError);
}

TEST_F(ModelFactoryTest, AMissingFileIsRefusedNamingIt) {
  for (const auto& [classifier, file] :
       {std::pair{"knn", "trainingVSM.dat"}, std::pair{"linear", "linear.model"},
        std::pair{"knn", "keywords.dat"}, std::pair{"linear", "dict.dat"}}) {
    testing::TempDir elsewhere;
    const std::string path = env.dir.file(file);
    std::filesystem::rename(path, elsewhere.file(file));
    try {
      loadModel(description(classifier), env.environment);
      ADD_FAILURE() << classifier << " loaded without " << file;
    } catch (const DataFileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(path + ": ", 0), 0u) << error.what();
    }
    std::filesystem::rename(elsewhere.file(file), path);
  }
}

}  // namespace
}  // namespace newsclass
