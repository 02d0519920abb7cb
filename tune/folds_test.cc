#include "tune/folds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>

namespace newsclass {
namespace {

// 103 articles: class 0 has 50, class 1 has 31, class 2 has 17, and 5 belong to no class.
struct Articles {
  std::vector<int32_t> ids;
  std::vector<int> classes;
};
Articles someArticles() {
  Articles articles;
  for (int32_t id = 1; id <= 103; ++id) {
    articles.ids.push_back(id * 7 % 1000);
    articles.classes.push_back(id <= 50 ? 0 : id <= 81 ? 1 : id <= 98 ? 2 : -1);
  }
  return articles;
}

TEST(StratifiedFoldsTest, EveryArticleOfAClassIsInExactlyOneFoldAndEachClassIsSpreadEvenly) {
  const Articles articles = someArticles();
  for (int folds : {2, 5, 10}) {
    const std::vector<int> fold = stratifiedFolds(articles.ids, articles.classes, folds, 42);
    ASSERT_EQ(fold.size(), articles.ids.size());
    std::map<int, std::map<int, int>> perClass;  // class -> fold -> articles
    std::map<int, int> perFold;
    for (size_t i = 0; i < fold.size(); ++i) {
      if (articles.classes[i] < 0) {
        EXPECT_EQ(fold[i], -1) << i;
        continue;
      }
      ASSERT_GE(fold[i], 0);
      ASSERT_LT(fold[i], folds);
      ++perClass[articles.classes[i]][fold[i]];
      ++perFold[fold[i]];
    }
    for (const auto& [c, counts] : perClass) {
      int least = 1 << 30, most = 0, total = 0;
      for (int f = 0; f < folds; ++f) {
        const int n = counts.count(f) ? counts.at(f) : 0;
        least = std::min(least, n);
        most = std::max(most, n);
        total += n;
      }
      EXPECT_LE(most - least, 1) << "class " << c << ", " << folds << " folds";
      EXPECT_EQ(total, c == 0 ? 50 : c == 1 ? 31 : 17);
    }
    int least = 1 << 30, most = 0;
    for (int f = 0; f < folds; ++f) {
      least = std::min(least, perFold[f]);
      most = std::max(most, perFold[f]);
    }
    EXPECT_LE(most - least, 1) << folds << " folds";
  }
}

TEST(StratifiedFoldsTest, TheSameIdsAndSeedGiveTheSameFoldsWhateverTheOrderAndAnotherSeedOthers) {
  const Articles articles = someArticles();
  const std::vector<int> fold = stratifiedFolds(articles.ids, articles.classes, 5, 7);
  EXPECT_EQ(stratifiedFolds(articles.ids, articles.classes, 5, 7), fold);
  // The articles given in reverse order keep their folds: the fold depends on the id.
  Articles reversed = articles;
  std::reverse(reversed.ids.begin(), reversed.ids.end());
  std::reverse(reversed.classes.begin(), reversed.classes.end());
  std::vector<int> reversedFold = stratifiedFolds(reversed.ids, reversed.classes, 5, 7);
  std::reverse(reversedFold.begin(), reversedFold.end());
  EXPECT_EQ(reversedFold, fold);
  EXPECT_NE(stratifiedFolds(articles.ids, articles.classes, 5, 8), fold);
  // Neighbouring ids do not follow each other round the folds.
  int runs = 0;
  for (size_t i = 1; i < 50; ++i) runs += fold[i] == (fold[i - 1] + 1) % 5;
  EXPECT_LT(runs, 25);
}

TEST(StratifiedFoldsTest, FewerThanTwoFoldsAreRefused) {
  EXPECT_THROW(stratifiedFolds({1, 2}, {0, 0}, 1, 0), std::invalid_argument);
  EXPECT_THROW(stratifiedFolds({1, 2}, {0}, 2, 0), std::invalid_argument);
}

}  // namespace
}  // namespace newsclass
