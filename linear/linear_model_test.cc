#include "linear/linear_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// Three categories, each with its own four features and some shared noise features.
struct ToyData {
  std::vector<WeightedKeywordList> vectors;
  std::vector<int> classes;
};

ToyData toyData(unsigned seed, int perClass) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> weight(0.2, 1.0);
  ToyData data;
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < perClass; ++i) {
      WeightedKeywordList vector;
      for (int f = 0; f < 4; ++f) {
        if (random() % 2 == 0) vector.emplace_back(c * 4 + f, weight(random));
      }
      if (vector.empty()) vector.emplace_back(c * 4, 1.0);
      vector.emplace_back(12 + static_cast<int>(random() % 3), 0.3 * weight(random));
      data.vectors.push_back(vector);
      data.classes.push_back(c);
    }
  }
  return data;
}

TEST(LinearModelTest, SeparableCategoriesAreLearnedAndDecisionsSurviveTheFile) {
  const ToyData training = toyData(1, 30);
  const LinearModel model = LinearModel::train(training.vectors, training.classes, 15, 1.0);
  EXPECT_EQ(model.featureCount(), 15u);
  const ToyData testing = toyData(2, 20);
  std::vector<double> values;
  for (size_t i = 0; i < testing.vectors.size(); ++i) {
    const int predicted = model.decide(testing.vectors[i], 3, values);
    EXPECT_EQ(predicted, testing.classes[i]) << i;
    // The predicted class has the highest decision value.
    EXPECT_EQ(values[static_cast<size_t>(predicted)], *std::max_element(values.begin(), values.end()));
  }

  testing::TempDir dir;
  const std::string path = dir.file("linear.model");
  model.save(path);
  const LinearModel reloaded = LinearModel::load(path, 3);
  std::vector<double> before, after;
  for (const WeightedKeywordList& vector : testing.vectors) {
    EXPECT_EQ(model.decide(vector, 3, before), reloaded.decide(vector, 3, after));
    ASSERT_EQ(before.size(), after.size());
    for (size_t c = 0; c < before.size(); ++c) {
      EXPECT_EQ(std::memcmp(&before[c], &after[c], sizeof(double)), 0)
          << before[c] << " against " << after[c];
    }
  }
  // Saving again gives the same bytes: the file holds every weight exactly.
  const std::string again = dir.file("again.model");
  reloaded.save(again);
  EXPECT_EQ(testing::readFileBytes(again), testing::readFileBytes(path));
}

TEST(LinearModelTest, TrainingIsRepeatableAndTwoClassesDecideBothWays) {
  ToyData data = toyData(3, 25);
  testing::TempDir dir;
  LinearModel::train(data.vectors, data.classes, 15, 0.5).save(dir.file("a.model"));
  LinearModel::train(data.vectors, data.classes, 15, 0.5).save(dir.file("b.model"));
  EXPECT_EQ(testing::readFileBytes(dir.file("a.model")), testing::readFileBytes(dir.file("b.model")));

  // Only classes 0 and 2: one machine, its value for one class the negative of the other's, and
  // the class the data lacks at minus infinity.
  ToyData two;
  for (size_t i = 0; i < data.vectors.size(); ++i) {
    if (data.classes[i] == 1) continue;
    two.vectors.push_back(data.vectors[i]);
    two.classes.push_back(data.classes[i]);
  }
  const LinearModel model = LinearModel::train(two.vectors, two.classes, 15, 1.0);
  std::vector<double> values;
  const int predicted = model.decide({{8, 1.0}}, 3, values);  // a class-2 feature
  EXPECT_EQ(predicted, 2);
  EXPECT_EQ(values[0], -values[2]);
  EXPECT_TRUE(std::isinf(values[1]) && values[1] < 0);
}

TEST(LinearModelTest, TrainingSeedsTheProcesssRandSoEarlierDrawsDoNotChangeTheModel) {
  const ToyData data = toyData(5, 25);
  testing::TempDir dir;
  std::srand(12345);
  LinearModel::train(data.vectors, data.classes, 15, 1.0).save(dir.file("a.model"));
  const int afterFirst = std::rand();
  for (int draw = 0; draw < 1000; ++draw) std::rand();
  LinearModel::train(data.vectors, data.classes, 15, 1.0).save(dir.file("b.model"));
  const int afterSecond = std::rand();
  EXPECT_EQ(testing::readFileBytes(dir.file("a.model")), testing::readFileBytes(dir.file("b.model")));
  // The seed is the whole process's: after the same training, rand() goes on the same way,
  // whatever it was seeded with or drew before.
  EXPECT_EQ(afterFirst, afterSecond);
}

TEST(LinearModelTest, BadCostNothingToLearnAndABadFileAreRefused) {
  const ToyData data = toyData(4, 5);
  for (double cost : {0.0, -1.0, std::nan("")}) {
    EXPECT_THROW(LinearModel::train(data.vectors, data.classes, 15, cost), UsageError) << cost;
  }
  EXPECT_THROW(LinearModel::train({}, {}, 15, 1.0), DataFileError);
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("bad.model"), "not a model\n");
  try {
    LinearModel::load(dir.file("bad.model"), 3);
    ADD_FAILURE() << "a bad model file loaded";
  } catch (const DataFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              dir.file("bad.model") +
                  ": line 1: not a linear model (run classify --classifier linear to train it)");
  }
}

}  // namespace
}  // namespace newsclass
