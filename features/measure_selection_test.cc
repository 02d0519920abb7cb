#include "features/measure_selection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::TestEnvironment;

TEST(MeasureSelectionTest, NamesAndTheirHelpList) {
  EXPECT_EQ(featureMeasureNames(), (std::vector<std::string>{"chi", "ig", "mi", "cf", "df"}));
  EXPECT_EQ(featureMeasureList(), "chi, ig, mi, cf or df");
}

// One category, history (articles 1-4 of the training range 1-10), and words whose rankings
// differ by measure, so that a name sent to the wrong measure writes another file.
class MeasureDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<testing::TestArticle> articles;
    for (int id = 1; id <= 10; ++id) articles.push_back({id, "t", id <= 4 ? "history" : "x", "x"});
    testing::insertArticles(env.environment.connectionString, "TrainingCorpus", articles);
    addWord("everywhere", {1, 2, 3, 5, 6, 7, 8, 9});
    addWord("mostly", {1, 2, 3, 4, 5});
    addWord("only", {1, 2});
    addWord("rare", {1});
    addWord("elsewhere", {5, 6, 7});
    // Cells: articles of history with the word, then without it.
    table = {{{"everywhere", "history"}, {3, 1}},
             {{"mostly", "history"}, {4, 0}},
             {{"only", "history"}, {2, 2}},
             {{"rare", "history"}, {1, 3}},
             {{"elsewhere", "history"}, {0, 4}}};
  }
  void addWord(const std::string& word, const std::vector<int32_t>& ids) {
    for (int32_t id : ids) dictionary[word].push_back({id, 1});
  }
  // The keyword file `select` writes with a quota of 2 words for history.
  std::string keywordsOf(const std::function<void(const std::string&)>& select) {
    const std::string path = env.dir.file("keywords" + std::to_string(++files) + ".dat");
    select(path);
    return readFileBytes(path);
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
  Dictionary dictionary;
  ContingencyTable table;
  int files = 0;
  const CategoryList categories{"history"};
  static constexpr int32_t kCount = 5;  // history's quota: 4 * 5 / 10 = 2
};

// The words and scores a selection took, as text: differs between measures even where two of
// them choose the same words.
std::string scoresOf(const std::vector<CategorySelection>& selections) {
  std::string text;
  for (const CategorySelection& selection : selections) {
    for (const ScoredWord& scored : selection.words) {
      text += *scored.word + "=" + std::to_string(scored.score) + " ";
    }
  }
  return text;
}

TEST_F(MeasureDispatchTest, EachNameRunsItsOwnMeasure) {
  const std::map<std::string, FeatureMeasure> expected = {
      {"chi", FeatureMeasure::kChiSquare},
      {"ig", FeatureMeasure::kInformationGain},
      {"mi", FeatureMeasure::kMutualInformation},
      {"cf", FeatureMeasure::kCategoryFrequency}};
  std::set<std::string> distinct;
  for (const auto& [name, measure] : expected) {
    std::vector<CategorySelection> byName, direct;
    const std::string fileByName = keywordsOf([&](const std::string& path) {
      selectKeywordsByMeasure(processor.environment(), processor.range(), name, categories, dictionary, table, kCount, path,
                              &byName);
    });
    const std::string fileDirect = keywordsOf([&](const std::string& path) {
      selectFeatures(processor.environment(), processor.range(), measure, categories, dictionary, table, kCount, path, &direct);
    });
    EXPECT_EQ(fileByName, fileDirect) << name;
    EXPECT_EQ(scoresOf(byName), scoresOf(direct)) << name;
    distinct.insert(scoresOf(byName));
  }
  // The four measures score differently here, so the comparison above tells them apart.
  EXPECT_EQ(distinct.size(), expected.size());

  // df ranks the whole dictionary by document frequency: 3 words where cf's quota took 2.
  std::vector<CategorySelection> untouched;
  const std::string df = keywordsOf([&](const std::string& path) {
    selectKeywordsByMeasure(processor.environment(), processor.range(), "df", categories, dictionary, table, 3, path, &untouched);
  });
  EXPECT_EQ(df, "everywhere\nmostly\nelsewhere\n");  // highest frequency first
  EXPECT_EQ(df, keywordsOf([&](const std::string& path) {
              processor.selectByDfThreshold(dictionary, 3, path);
            }));
  EXPECT_TRUE(untouched.empty());
}

TEST_F(MeasureDispatchTest, CountZeroSelectsEveryWord) {
  for (const std::string& name : featureMeasureNames()) {
    const std::string file = keywordsOf([&](const std::string& path) {
      selectKeywordsByMeasure(processor.environment(), processor.range(), name, categories, dictionary, table, 0, path);
    });
    std::set<std::string> words;
    size_t lines = 0;
    for (size_t at = 0; at < file.size(); ++lines) {
      const size_t end = file.find('\n', at);
      words.insert(file.substr(at, end - at));
      at = end + 1;
    }
    EXPECT_EQ(words, (std::set<std::string>{"elsewhere", "everywhere", "mostly", "only", "rare"}))
        << name << ": " << file;
    EXPECT_EQ(lines, 5u) << name;  // each word once
  }
}

TEST_F(MeasureDispatchTest, SelectionsComeBackAndAnUnknownNameWritesNothing) {
  std::vector<CategorySelection> selections;
  const std::string path = env.dir.file("keywords.dat");
  selectKeywordsByMeasure(processor.environment(), processor.range(), "cf", categories, dictionary, table, kCount, path,
                          &selections);
  ASSERT_EQ(selections.size(), 1u);
  EXPECT_EQ(selections[0].quota, 2);
  ASSERT_EQ(selections[0].words.size(), 2u);
  EXPECT_EQ(*selections[0].words[0].word, "mostly");
  EXPECT_EQ(selections[0].words[0].score, 4.0);

  const std::string other = env.dir.file("other.dat");
  try {
    selectKeywordsByMeasure(processor.environment(), processor.range(), "CHI", categories, dictionary, table, kCount, other);
    ADD_FAILURE() << "an unknown measure name must fail";
  } catch (const UsageError& error) {
    EXPECT_STREQ(error.what(), "--measure: expected chi, ig, mi, cf or df, got \"CHI\"");
  }
  EXPECT_FALSE(std::filesystem::exists(other));
}

}  // namespace
}  // namespace newsclass
