#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/text_utils.h"
#include "contingency/contingency_counting.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::insertArticles;
using testing::TestEnvironment;

Dictionary postingsOf(std::initializer_list<std::pair<std::string, std::vector<int32_t>>> words) {
  Dictionary dictionary;
  for (const auto& [word, ids] : words) {
    for (int32_t id : ids) dictionary[word].push_back({id, 7});
  }
  return dictionary;
}

// The counting rule written the slow way: scan the category's whole list for each posting.
ContingencyTable countNaively(const Dictionary& dictionary, const CategoryArticles& articles) {
  ContingencyTable table;
  for (const auto& [word, postings] : dictionary) {
    if (word.empty() || word == " ") continue;
    for (const auto& [category, ids] : articles) {
      int32_t withWord = 0;
      for (const Posting& posting : postings) {
        withWord += static_cast<int32_t>(std::count(ids.begin(), ids.end(), posting.articleId));
      }
      table[{word, category}] = {withWord, static_cast<int32_t>(ids.size()) - withWord};
    }
  }
  return table;
}

TEST(ContingencyCountingTest, CountsEachCategorysArticlesWithAndWithoutTheWord) {
  const CategoryArticles articles = {{"culture", {1, 2, 3}}, {"history", {4, 5}}};
  const Dictionary dictionary = postingsOf({{"w1", {2, 3, 5}}, {"w2", {1}}, {"w3", {99}}});
  ContingencyTable table;
  countContingencyCells(dictionary, articles, table);
  const ContingencyTable expected = {{{"w1", "culture"}, {2, 1}},
                                     {{"w1", "history"}, {1, 1}},
                                     {{"w2", "culture"}, {1, 2}},
                                     {{"w2", "history"}, {0, 2}},
                                     // A posting whose article is in no category adds to no cell.
                                     {{"w3", "culture"}, {0, 3}},
                                     {{"w3", "history"}, {0, 2}}};
  EXPECT_EQ(table, expected);
}

TEST(ContingencyCountingTest, EmptyAndSpaceWordsGetNoCells) {
  const CategoryArticles articles = {{"culture", {1}}};
  const Dictionary dictionary = postingsOf({{"", {1}}, {" ", {1}}, {"  ", {1}}, {"x", {1}}});
  ContingencyTable table;
  countContingencyCells(dictionary, articles, table);
  const ContingencyTable expected = {{{"  ", "culture"}, {1, 0}}, {{"x", "culture"}, {1, 0}}};
  EXPECT_EQ(table, expected);
}

TEST(ContingencyCountingTest, RepeatedIdsInAListCountEveryTime) {
  const CategoryArticles articles = {{"culture", {1, 1, 2}}, {"history", {1}}};
  const Dictionary dictionary = postingsOf({{"w", {1}}, {"v", {2, 2}}});
  ContingencyTable table;
  countContingencyCells(dictionary, articles, table);
  EXPECT_EQ(table.at({"w", "culture"}), (ContingencyCell{2, 1}));
  EXPECT_EQ(table.at({"w", "history"}), (ContingencyCell{1, 0}));
  EXPECT_EQ(table.at({"v", "culture"}), (ContingencyCell{2, 1}));
  EXPECT_EQ(table.at({"v", "history"}), (ContingencyCell{0, 1}));
}

TEST(ContingencyCountingTest, ExtremeAndNegativeIdsAreFound) {
  const CategoryArticles articles = {{"culture", {INT32_MIN, -5, INT32_MAX}}, {"history", {0}}};
  const Dictionary dictionary =
      postingsOf({{"a", {INT32_MIN, INT32_MAX}}, {"b", {-5, 0, 1, -6, INT32_MAX - 1}}});
  ContingencyTable table;
  countContingencyCells(dictionary, articles, table);
  EXPECT_EQ(table.at({"a", "culture"}), (ContingencyCell{2, 1}));
  EXPECT_EQ(table.at({"a", "history"}), (ContingencyCell{0, 1}));
  EXPECT_EQ(table.at({"b", "culture"}), (ContingencyCell{1, 2}));
  EXPECT_EQ(table.at({"b", "history"}), (ContingencyCell{1, 0}));
}

TEST(ContingencyCountingTest, AgreesWithScanningTheListsOnRandomData) {
  std::mt19937 random(20240611);
  // Close ids (dense lookup) and ids spread over the whole int32 range (hashed lookup).
  for (const int64_t spread : {int64_t{40}, int64_t{4000000000}}) {
    std::uniform_int_distribution<int64_t> idOf(-spread / 2, spread / 2 - 1);
    std::vector<int32_t> pool;
    for (int i = 0; i < 60; ++i) pool.push_back(static_cast<int32_t>(idOf(random)));
    std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
    CategoryArticles articles;
    for (const char* name : {"a", "b", "c"}) {
      for (int i = 0; i < 25; ++i) articles[name].push_back(pool[pick(random)]);
    }
    Dictionary dictionary;
    for (int w = 0; w < 200; ++w) {
      std::string word = "w";
      word += std::to_string(w);
      const int postings = w % 9;
      for (int p = 0; p < postings; ++p) {
        const int32_t id = p % 3 == 0 ? static_cast<int32_t>(idOf(random)) : pool[pick(random)];
        dictionary[word].push_back({id, 1});
      }
    }
    ContingencyTable table;
    countContingencyCells(dictionary, articles, table);
    EXPECT_EQ(table, countNaively(dictionary, articles)) << "spread " << spread;
  }
}

TEST(ContingencyCountingTest, KeepsOtherCellsAndReplacesItsOwn) {
  const CategoryArticles articles = {{"culture", {1, 2, 3}}, {"history", {4, 5}}};
  const Dictionary dictionary = postingsOf({{"w1", {2, 3, 5}}});
  ContingencyTable table = {{{"a", "culture"}, {9, 9}},
                            {{"w1", "culture"}, {100, 100}},
                            {{"w1", "reading"}, {8, 8}},
                            {{"zz", "history"}, {7, 7}}};
  countContingencyCells(dictionary, articles, table);
  const ContingencyTable expected = {{{"a", "culture"}, {9, 9}},
                                     {{"w1", "culture"}, {2, 1}},
                                     {{"w1", "history"}, {1, 1}},
                                     {{"w1", "reading"}, {8, 8}},
                                     {{"zz", "history"}, {7, 7}}};
  EXPECT_EQ(table, expected);
  // Counting again over the same inputs changes nothing.
  countContingencyCells(dictionary, articles, table);
  EXPECT_EQ(table, expected);
}

TEST(ContingencyCountingTest, ManyWordsGiveTheNaiveTableForAnyThreadCount) {
  // More words than one counting run holds, some cells there before, ids in several categories.
  const CategoryArticles articles = {{"a", {1, 2, 3, 4}}, {"b", {4, 5, 6}}, {"c", {7, 7, 8}}};
  Dictionary dictionary;
  for (int w = 0; w < 7000; ++w) {
    std::string word = "w" + std::to_string(w);
    for (int p = 0; p <= w % 4; ++p) dictionary[word].push_back({(w * 7 + p * 3) % 10, 1});
  }
  dictionary[""] = {{1, 1}};
  ContingencyTable before = {{{"w1", "a"}, {50, 50}}, {{"w5000", "z"}, {3, 3}}, {{"zz", "a"}, {1, 1}}};
  ContingencyTable expected = countNaively(dictionary, articles);
  expected.insert(before.begin(), before.end());  // keeps the counted cell where keys meet
  for (int threads : {1, 2, 3}) {
    ContingencyTable table = before;
    countContingencyCells(dictionary, articles, table, threads);
    EXPECT_EQ(table.size(), 7000u * 3 + 2) << threads;
    EXPECT_TRUE(table == expected) << threads;
  }
}

TEST(ContingencyCountingTest, SharesOfTheIdsAddUpToTheWholeCount) {
  // Ids 0-9 cut into three shares, one of them holding no posting; id 7 listed twice.
  const CategoryArticles articles = {{"a", {1, 2, 3, 4}}, {"b", {4, 5, 6}}, {"c", {7, 7, 8}}};
  Dictionary dictionary;
  for (int w = 0; w < 300; ++w) {
    for (int p = 0; p <= w % 4; ++p) {
      dictionary[std::to_string(w)].push_back({(w * 7 + p * 3) % 9, 1});
    }
  }
  const ContingencyTable whole = countNaively(dictionary, articles);
  ContingencyTable added;
  for (const ArticleRange share : {ArticleRange{0, 3}, ArticleRange{4, 8}, ArticleRange{9, 40}}) {
    ContingencyTable counted;
    countContingencyCells(dictionary, articles, counted, 2, share);
    ASSERT_EQ(counted.size(), whole.size());
    for (const auto& [key, cell] : counted) added[key].withWord += cell.withWord;
  }
  ContingencyTable none;
  countContingencyCells(dictionary, articles, none, 1, ArticleRange{9, 40});
  EXPECT_TRUE(std::all_of(none.begin(), none.end(),
                          [](const auto& entry) { return entry.second.withWord == 0; }));
  for (const auto& [key, cell] : whole) {
    EXPECT_EQ(added[key].withWord, cell.withWord) << key.first << " " << key.second;
  }
}

// The stage output must be exactly the label, the seconds and a line end.
void expectTimingLine(const std::string& output, const std::string& label) {
  ASSERT_GE(output.size(), label.size() + 2) << output;
  EXPECT_EQ(output.substr(0, label.size()), label);
  EXPECT_EQ(output.back(), '\n');
  EXPECT_TRUE(parseDouble(output.substr(label.size(), output.size() - label.size() - 1))) << output;
}

class ContingencyBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    insertArticles(env.environment.connectionString, "TrainingCorpus",
                   {{1, "t", "culture", "x"},
                    {2, "t", "culture", "x"},
                    {3, "t", "culture", "x"},
                    {4, "t", "history", "x"},
                    {5, "t", "history", "x"},
                    // Outside the range the dictionary covers: counted without the word.
                    {900, "t", "history", "x"}});
  }
  TestEnvironment env;
};

TEST_F(ContingencyBuildTest, CountsCategoriesReadFromTheTable) {
  CorpusProcessor processor = env.processor(1, 10);
  const Dictionary dictionary = postingsOf({{"w1", {2, 3, 5}}, {"w2", {1}}, {"", {1}}});
  ContingencyTable table;
  EXPECT_TRUE(processor.buildContingencyTable(dictionary, {"history", "culture", "reading"}, table,
                                              "TrainingCorpus"));
  const ContingencyTable expected = {{{"w1", "culture"}, {2, 1}},
                                     {{"w1", "history"}, {1, 2}},
                                     {{"w2", "culture"}, {1, 2}},
                                     {{"w2", "history"}, {0, 3}}};
  EXPECT_EQ(table, expected);
  expectTimingLine(env.takeOutput(), gbk("建立contingencyTable的时间为"));

  EXPECT_TRUE(processor.buildContingencyTable(dictionary, {"history", "culture", "reading"}, table,
                                              "TrainingCorpus"));
  EXPECT_EQ(table, expected);
}

TEST_F(ContingencyBuildTest, NoCategoryWithArticlesWritesNoCell) {
  CorpusProcessor processor = env.processor(1, 10);
  const Dictionary dictionary = postingsOf({{"w1", {2}}});
  ContingencyTable table;
  EXPECT_FALSE(processor.buildContingencyTable(dictionary, {"reading"}, table, "TrainingCorpus"));
  EXPECT_TRUE(table.empty());
  expectTimingLine(env.takeOutput(), gbk("建立contingencyTable的时间为"));

  table[{"old", "reading"}] = {1, 1};
  EXPECT_TRUE(processor.buildContingencyTable(dictionary, {"reading"}, table, "TrainingCorpus"));
  EXPECT_EQ(table.size(), 1u);
}

}  // namespace
}  // namespace newsclass
