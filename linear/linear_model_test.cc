#include "linear/linear_model.h"

#include <gtest/gtest.h>
#include <linear.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/errors.h"
#include "linear/linear_ranks.h"
#include "linear/linear_run.h"
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
  const LinearModel model = LinearModel::train(training.vectors, training.classes, 15, {1.0});
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
  LinearModel::train(data.vectors, data.classes, 15, {0.5}).save(dir.file("a.model"));
  LinearModel::train(data.vectors, data.classes, 15, {0.5}).save(dir.file("b.model"));
  EXPECT_EQ(testing::readFileBytes(dir.file("a.model")), testing::readFileBytes(dir.file("b.model")));

  // Only classes 0 and 2: one machine, its value for one class the negative of the other's, and
  // the class the data lacks at minus infinity.
  ToyData two;
  for (size_t i = 0; i < data.vectors.size(); ++i) {
    if (data.classes[i] == 1) continue;
    two.vectors.push_back(data.vectors[i]);
    two.classes.push_back(data.classes[i]);
  }
  const LinearModel model = LinearModel::train(two.vectors, two.classes, 15, {1.0});
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
  LinearModel::train(data.vectors, data.classes, 15, {1.0}).save(dir.file("a.model"));
  const int afterFirst = std::rand();
  for (int draw = 0; draw < 1000; ++draw) std::rand();
  LinearModel::train(data.vectors, data.classes, 15, {1.0}).save(dir.file("b.model"));
  const int afterSecond = std::rand();
  EXPECT_EQ(testing::readFileBytes(dir.file("a.model")), testing::readFileBytes(dir.file("b.model")));
  // After the same training, this thread's rand() goes on the same way, whatever it was seeded
  // with or drew before.
  EXPECT_EQ(afterFirst, afterSecond);
}

TEST(LinearModelTest, ModelsTrainedOnSeveralThreadsAtOnceAreEachTheModelTrainedAlone) {
  const ToyData data = toyData(9, 40);
  testing::TempDir dir;
  LinearModel::train(data.vectors, data.classes, 15, {0.5}).save(dir.file("alone.model"));
  const std::string alone = testing::readFileBytes(dir.file("alone.model"));
  std::vector<std::string> paths;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) paths.push_back(dir.file("thread" + std::to_string(t) + ".model"));
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      // Each thread draws a different amount first: the training reseeds its own sequence.
      for (int draw = 0; draw < t * 100; ++draw) std::rand();
      for (int round = 0; round < 5; ++round) {
        LinearModel::train(data.vectors, data.classes, 15, {0.5}).save(paths[static_cast<size_t>(t)]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& path : paths) EXPECT_EQ(testing::readFileBytes(path), alone) << path;
}

// Three classes or more: each machine is its class against the rest, trained alone, so the
// model is the same on any number of threads, and machines trained apart (as the ranks of a
// distributed run train them) make the same model. The machines follow the order in which the
// classes first appear.
TEST(LinearModelTest, EachMachineIsTrainedAloneWhateverTheThreadsOrTheOtherMachines) {
  ToyData data = toyData(7, 30);
  // Class 2's articles first: the machines' order is 2, 0, 1.
  std::rotate(data.vectors.begin(), data.vectors.begin() + 60, data.vectors.end());
  std::rotate(data.classes.begin(), data.classes.begin() + 60, data.classes.end());
  ASSERT_EQ(LinearModel::machineOrder(data.classes), (std::vector<int>{2, 0, 1}));
  testing::TempDir dir;
  for (LinearLoss loss : {LinearLoss::kSquaredHinge, LinearLoss::kLogistic}) {
    LinearSettings one{0.5, loss, true, 1};
    LinearSettings three = one;
    three.threads = 3;
    LinearModel::train(data.vectors, data.classes, 15, one).save(dir.file("one.model"));
    LinearModel::train(data.vectors, data.classes, 15, three).save(dir.file("three.model"));
    const std::string model = testing::readFileBytes(dir.file("one.model"));
    EXPECT_EQ(testing::readFileBytes(dir.file("three.model")), model);
    EXPECT_NE(model.find("nr_class 3\nlabel 2 0 1\n"), std::string::npos) << model.substr(0, 80);

    const auto first = LinearModel::trainMachines(data.vectors, data.classes, 15, one, {2});
    const auto rest = LinearModel::trainMachines(data.vectors, data.classes, 15, three, {0, 1});
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(rest.size(), 2u);
    ASSERT_EQ(first[0].size(), 16u);  // 15 features and the bias
    LinearModel::fromMachines({2, 0, 1}, {first[0], rest[0], rest[1]}, 15, loss)
        .save(dir.file("apart.model"));
    EXPECT_EQ(testing::readFileBytes(dir.file("apart.model")), model);
    // Alone, a process is its job's one rank: it trains every machine and puts them together.
    const LinearTrainingSet training{data.vectors, data.classes};
    const std::optional<LinearModel> ranks = trainLinearAcrossRanks(&training, 15, three);
    ASSERT_TRUE(ranks.has_value());
    ranks->save(dir.file("ranks.model"));
    EXPECT_EQ(testing::readFileBytes(dir.file("ranks.model")), model);

    // Each machine speaks for its class: the training articles are labelled as they are.
    const LinearModel trained = LinearModel::load(dir.file("one.model"), 3, loss);
    std::vector<double> values;
    int right = 0;
    for (size_t i = 0; i < data.vectors.size(); ++i) {
      right += trained.decide(data.vectors[i], 3, values) == data.classes[i];
    }
    EXPECT_GE(right, 85) << "of 90";
  }
}

TEST(LinearModelTest, BadCostNothingToLearnAndABadFileAreRefused) {
  const ToyData data = toyData(4, 5);
  for (double cost : {0.0, -1.0, std::nan("")}) {
    EXPECT_THROW(LinearModel::train(data.vectors, data.classes, 15, {cost}), UsageError) << cost;
  }
  EXPECT_THROW(LinearModel::train({}, {}, 15, {1.0}), DataFileError);
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

TEST(LinearModelTest, LogisticProbabilitiesAddUpToOneAndAreLiblinearsOwn) {
  const ToyData training = toyData(3, 30);
  const LinearModel model =
      LinearModel::train(training.vectors, training.classes, 15, {4.0, LinearLoss::kLogistic});
  ASSERT_TRUE(model.givesProbabilities());
  EXPECT_FALSE(LinearModel::train(training.vectors, training.classes, 15, {4.0}).givesProbabilities());
  testing::TempDir dir;
  const std::string path = dir.file("linear.model");
  model.save(path);
  EXPECT_EQ(testing::readFileBytes(path).rfind("solver_type L2R_LR\n", 0), 0u);
  // liblinear's own reading of the file and its own predict_probability.
  struct ::model* own = load_model(path.c_str());
  ASSERT_NE(own, nullptr);
  std::vector<int> labels(3);
  get_labels(own, labels.data());
  const LinearModel reloaded = LinearModel::load(path, 3, LinearLoss::kLogistic);
  const ToyData testing = toyData(4, 10);
  std::vector<double> probabilities, values;
  for (const WeightedKeywordList& vector : testing.vectors) {
    reloaded.probabilities(vector, 3, probabilities);
    const int predicted = reloaded.decide(vector, 3, values);
    double sum = 0.0, logisticSum = 0.0;
    for (double p : probabilities) sum += p;
    EXPECT_NEAR(sum, 1.0, 1e-12);
    // One-vs-rest: each machine's logistic function of its value, normalised.
    for (double v : values) logisticSum += 1.0 / (1.0 + std::exp(-v));
    for (size_t c = 0; c < 3; ++c) {
      EXPECT_NEAR(probabilities[c], 1.0 / (1.0 + std::exp(-values[c])) / logisticSum, 1e-12);
    }
    EXPECT_EQ(probabilities[static_cast<size_t>(predicted)],
              *std::max_element(probabilities.begin(), probabilities.end()));
    std::vector<feature_node> nodes;
    for (const auto& [position, weight] : vector) nodes.push_back({position + 1, weight});
    nodes.push_back({16, 1.0});
    nodes.push_back({-1, 0.0});
    std::vector<double> theirs(3);
    predict_probability(own, nodes.data(), theirs.data());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(probabilities[static_cast<size_t>(labels[i])], theirs[i]);
  }
  free_and_destroy_model(&own);
  // A logistic file is not an SVM's: the solver line says which, and a reader expecting the
  // other refuses it by line.
  try {
    LinearModel::load(path, 3);
    FAIL() << "a logistic model loaded as an SVM";
  } catch (const DataFileError& error) {
    EXPECT_STREQ(error.what(), (path + ": line 1: solver \"L2R_LR\" is not L2R_L2LOSS_SVC_DUAL, "
                                       "the one classify trains with").c_str());
  }
}

TEST(LinearModelTest, ProbabilitiesStayNumbersWhenEveryDecisionValueIsFarBelowZero) {
  // Three machines whose only weight is a bias of -1000, -1001 and -1002: every logistic value
  // is 0 in doubles, and liblinear's normalising would give 0 / 0.
  testing::TempDir dir;
  const std::string path = dir.file("linear.model");
  testing::writeFileBytes(path, "solver_type L2R_LR\nnr_class 3\nlabel 0 1 2\nnr_feature 1\n"
                                "bias 1\nw\n0 0 0 \n-1000 -1001 -1002 \n");
  const LinearModel model = LinearModel::load(path, 3, LinearLoss::kLogistic);
  std::vector<double> probabilities;
  model.probabilities({{0, 1.0}}, 3, probabilities);
  const double e = std::exp(1.0);
  const double sum = 1.0 + 1.0 / e + 1.0 / (e * e);
  EXPECT_NEAR(probabilities[0], 1.0 / sum, 1e-12);
  EXPECT_NEAR(probabilities[1], 1.0 / e / sum, 1e-12);
  EXPECT_NEAR(probabilities[2], 1.0 / (e * e) / sum, 1e-12);
}

TEST(LinearModelTest, BalancedClassWeightsAreNOverKTimesTheClassSize) {
  const auto weights = balancedClassWeights({2, 0, 0, 0, 2, 0, 0, 0});
  ASSERT_EQ(weights.size(), 2u);
  EXPECT_EQ(weights[0].first, 0);
  EXPECT_DOUBLE_EQ(weights[0].second, 8.0 / (2 * 6));
  EXPECT_EQ(weights[1].first, 2);
  EXPECT_DOUBLE_EQ(weights[1].second, 8.0 / (2 * 2));
  EXPECT_TRUE(balancedClassWeights({}).empty());

  // A class with a tenth of the articles gains decision value when the classes are balanced.
  ToyData data = toyData(5, 40);
  ToyData unbalanced;
  for (size_t i = 0; i < data.vectors.size(); ++i) {
    if (data.classes[i] == 2 && i % 10 != 0) continue;
    unbalanced.vectors.push_back(data.vectors[i]);
    unbalanced.classes.push_back(data.classes[i]);
  }
  const LinearModel plain = LinearModel::train(unbalanced.vectors, unbalanced.classes, 15, {1.0});
  LinearSettings balanced{1.0};
  balanced.balancedClassWeights = true;
  const LinearModel weighted = LinearModel::train(unbalanced.vectors, unbalanced.classes, 15, balanced);
  std::vector<double> plainValues, weightedValues;
  const WeightedKeywordList minority = {{8, 0.6}, {13, 0.2}};
  plain.decide(minority, 3, plainValues);
  weighted.decide(minority, 3, weightedValues);
  EXPECT_GT(weightedValues[2], plainValues[2]);
}

TEST(LinearModelTest, CoefficientsTimesWeightsPlusTheBiasAreTheDecisionValue) {
  const ToyData three = toyData(6, 20);
  const ToyData two = [&] {
    ToyData copy = three;
    for (int& c : copy.classes) c = c == 2 ? 1 : c;
    return copy;
  }();
  for (const LinearLoss loss : {LinearLoss::kSquaredHinge, LinearLoss::kLogistic}) {
    for (const ToyData* data : {&three, &two}) {
      const size_t classes = data == &three ? 3 : 2;
      const LinearModel model = LinearModel::train(data->vectors, data->classes, 15, {1.0, loss});
      std::vector<double> values;
      for (const WeightedKeywordList& vector : toyData(7, 3).vectors) {
        model.decide(vector, classes, values);
        for (size_t c = 0; c < classes; ++c) {
          double sum = model.bias(static_cast<int>(c));
          for (const auto& [position, weight] : vector) {
            sum += model.coefficient(position, static_cast<int>(c)) * weight;
          }
          EXPECT_NEAR(sum, values[c], 1e-12) << c;
          // The explanation's terms, all of them, add up the same way, largest first.
          std::vector<std::string> keywords;
          for (int f = 0; f < 15; ++f) keywords.push_back("k" + std::to_string(f));
          const auto terms = termContributions(model, vector, keywords, static_cast<int>(c), 100);
          double explained = model.bias(static_cast<int>(c));
          for (const auto& [term, value] : terms) explained += value;
          EXPECT_NEAR(explained, values[c], 1e-12) << c;
          EXPECT_TRUE(std::is_sorted(terms.begin(), terms.end(), [](const auto& x, const auto& y) {
            return x.second > y.second;
          }));
          EXPECT_LE(termContributions(model, vector, keywords, static_cast<int>(c), 1).size(), 1u);
        }
      }
    }
  }
}

}  // namespace
}  // namespace newsclass
