// A tune run over synthetic articles: the metric as evaluate computes it, every choice scored on
// every fold with its own time, and settings that share a fold's stages or a neighbour search
// scored as if each ran alone.
#include "tune/tune_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/errors.h"
#include "tune/folds.h"

namespace newsclass {
namespace {

TEST(TuneMetricTest, MacroF1AveragesEveryCategoryAndAccuracyCountsHits) {
  // Class 0: 2 found of 3 predicted, 2 of 2 true -> P 2/3, R 1, F1 0.8.
  // Class 1: 1 found of 1 predicted, 1 of 2 true -> P 1, R 1/2, F1 2/3.
  // Class 2: never true, never predicted -> F1 0.
  const std::vector<int> labels = {0, 0, 1, 0};
  const std::vector<int> truth = {0, 0, 1, 1};
  EXPECT_DOUBLE_EQ(tuneMetric(TuneMetric::kMacroF1, labels, truth, 3), (0.8 + 2.0 / 3.0) / 3.0);
  EXPECT_DOUBLE_EQ(tuneMetric(TuneMetric::kAccuracy, labels, truth, 3), 0.75);
  EXPECT_EQ(tuneMetric(TuneMetric::kAccuracy, {}, {}, 3), 0.0);
}

// Four categories, each with words of its own and words shared by all, 15 articles each.
std::vector<SegmentedArticle> syntheticArticles() {
  std::vector<SegmentedArticle> articles;
  for (int32_t id = 1; id <= 60; ++id) {
    SegmentedArticle article;
    article.id = id;
    article.category = id % 4;
    const std::string own = "w" + std::to_string(article.category);
    article.words = {own + "a", own + "b", "shared" + std::to_string(id % 3), own + std::to_string(id % 5)};
    if (id % 7 == 0) article.words.push_back("w" + std::to_string((id + 1) % 4) + "a");  // noise
    for (const std::string& word : article.words) article.characters.push_back("|" + word.substr(0, 2));
    articles.push_back(std::move(article));
  }
  return articles;
}

TEST(RunTuneTest, SharedStagesAndSearchesScoreEachChoiceAsItsOwnRunWould) {
  const std::vector<SegmentedArticle> articles = syntheticArticles();
  std::vector<int32_t> ids;
  std::vector<int> classes;
  for (const SegmentedArticle& article : articles) {
    ids.push_back(article.id);
    classes.push_back(article.category);
  }
  const int foldCount = 3;
  const std::vector<int> folds = stratifiedFolds(ids, classes, foldCount, 7);
  const CategoryList categories = {"a", "b", "c", "d"};
  std::vector<TuneChoice> choices;
  for (const char* classifier : {"knn", "linear"}) {
    for (const char* k : {"3", "9"}) {
      TuneSetting setting = {{"classifier", classifier}, {"k", k}, {"count", "0"}};
      if (std::string(classifier) == "knn") {
        setting.emplace_back("vote", "similarity");
      } else {
        setting.emplace_back("knn_weight", "0.5");
      }
      choices.push_back(tuneChoiceOf(setting, categories));
    }
  }
  // More selections from the same fold corpora: the contingency table counted for one measure
  // serves the next.
  choices.push_back(tuneChoiceOf({{"measure", "ig"}, {"count", "6"}}, categories));
  // Without a blend K changes nothing: the second is scored with the first.
  choices.push_back(tuneChoiceOf({{"k", "3"}, {"count", "0"}}, categories));
  choices.push_back(tuneChoiceOf({{"k", "9"}, {"count", "0"}}, categories));
  choices.push_back(tuneChoiceOf({{"classifier", "logistic"}, {"count", "10"}}, categories));
  choices.push_back(tuneChoiceOf({{"classifier", "knn"}, {"k", "5"}, {"weighting", "tfidf"},
                                  {"terms", "words+chars"}, {"count", "6"}},
                                 categories));
  std::vector<size_t> progress;
  const std::vector<TuneScore> scores =
      runTune(articles, folds, foldCount, categories, choices, TuneMetric::kAccuracy, 2,
              [&](size_t done) { progress.push_back(done); });
  ASSERT_EQ(scores.size(), choices.size());
  ASSERT_EQ(progress.size(), choices.size() * foldCount);
  for (size_t i = 0; i < progress.size(); ++i) EXPECT_EQ(progress[i], i + 1);
  for (size_t c = 0; c < choices.size(); ++c) {
    SCOPED_TRACE(choices[c].text);
    ASSERT_EQ(scores[c].folds.size(), static_cast<size_t>(foldCount));
    double sum = 0.0, squares = 0.0;
    for (int fold = 0; fold < foldCount; ++fold) {
      // Each choice alone on its own prepared fold.
      const PreparedFoldPtr prepared = prepareFold(articles, folds, fold, categories, choices[c].terms,
                                                   choices[c].measure, choices[c].count, 1);
      const std::vector<int> labels = labelHeldOut(*prepared, choices[c].model);
      EXPECT_EQ(scores[c].folds[static_cast<size_t>(fold)],
                tuneMetric(TuneMetric::kAccuracy, labels, heldOutClasses(*prepared), categories.size()));
      sum += scores[c].folds[static_cast<size_t>(fold)];
    }
    EXPECT_DOUBLE_EQ(scores[c].mean, sum / foldCount);
    for (double value : scores[c].folds) squares += (value - scores[c].mean) * (value - scores[c].mean);
    EXPECT_DOUBLE_EQ(scores[c].deviation, std::sqrt(squares / (foldCount - 1)));
    // Every choice did work of its own, however much it shared.
    EXPECT_GT(scores[c].seconds, 0.0);
  }
  // The categories' own words separate them: the linear models get most articles right.
  EXPECT_GT(scores[2].mean, 0.8);
}

TEST(RunTuneTest, ChoicesPipelineWouldRefuseAreRefusedByName) {
  const CategoryList categories = {"a", "b"};
  EXPECT_THROW(tuneChoiceOf({{"classifier", "logistic"}, {"knn_weight", "1"}}, categories), UsageError);
  EXPECT_THROW(tuneChoiceOf({{"classifier", "linear"}, {"weighting", "tfidf"}}, categories), UsageError);
  EXPECT_THROW(tuneChoiceOf({{"classifier", "knn"}, {"class_weight", "balanced"}}, categories), UsageError);
  const TuneChoice knn = tuneChoiceOf({{"classifier", "knn"}, {"vote", "similarity"}, {"k", "7"}}, categories);
  EXPECT_EQ(knn.pipelineOptions,
            (std::vector<std::string>{"--classifier", "knn", "--k", "7", "--vote", "similarity",
                                      "--weighting", "spec", "--terms", "words", "--measure", "chi",
                                      "--count", "1000"}));
  EXPECT_EQ(knn.text, "classifier=knn vote=similarity k=7");
}

}  // namespace
}  // namespace newsclass
