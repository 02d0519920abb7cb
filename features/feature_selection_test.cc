#include "features/feature_selection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_utils.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::insertArticles;
using testing::readFileBytes;
using testing::TestArticle;
using testing::TestEnvironment;
using testing::writeFileBytes;

TEST(CategoryQuotaTest, ProductFirstThenTruncatedQuotient) {
  EXPECT_EQ(categoryQuota(1000, 1000, 6000), 166);
  EXPECT_EQ(categoryQuota(5, 1000, 6000), 0);
  EXPECT_EQ(categoryQuota(0, 1000, 6000), 0);
  EXPECT_EQ(categoryQuota(6000, 1000, 6000), 1000);
  EXPECT_EQ(categoryQuota(7, 3, 2), 10);
  EXPECT_THROW(categoryQuota(1, 1, 0), UsageError);
  EXPECT_THROW(categoryQuota(1, 1, -4), UsageError);
}

// Two categories over the training range 1-10: history has articles 1-4, culture 5-10.
class FeatureSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<TestArticle> articles;
    for (int id = 1; id <= 10; ++id)
      articles.push_back({id, "t", id <= 4 ? "history" : "culture", "x"});
    insertArticles(env.environment.connectionString, "TrainingCorpus", articles);
    // "shared" marks both categories by frequency; each category has one word of its own.
    addWord("shared", {1, 2, 3, 5, 6, 7, 8});
    addWord("h", {1, 2});
    addWord("c", {5, 6, 7, 8, 9});
    addWord("rare", {4});
    table = {{{"shared", "history"}, {3, 1}}, {{"shared", "culture"}, {4, 2}},
             {{"h", "history"}, {2, 2}},      {{"h", "culture"}, {0, 6}},
             {{"c", "history"}, {0, 4}},      {{"c", "culture"}, {5, 1}},
             {{"rare", "history"}, {1, 3}},   {{"rare", "culture"}, {0, 6}}};
  }
  void addWord(const std::string& word, std::vector<int32_t> ids) {
    for (int32_t id : ids) dictionary[word].push_back({id, 1});
  }
  std::string closingLinesPrefix(size_t count) {
    return gbk("最后共选择特征词") + std::to_string(count) + "\n" + gbk("遴选特征词共有了");
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
  Dictionary dictionary;
  ContingencyTable table;
  const std::string path = env.dir.file("keywords.dat");
};

TEST_F(FeatureSelectionTest, WordTakenByTwoCategoriesIsWrittenAndCountedOnce) {
  // Quotas: history 4*5/10 = 2, culture 6*5/10 = 3. By in-category frequency history takes
  // shared (3), h (2); culture takes c (5), shared (4), then h (0, before rare by byte order).
  std::vector<CategorySelection> selections;
  selectFeatures(processor.environment(), processor.range(), FeatureMeasure::kCategoryFrequency, {"history", "culture"}, dictionary,
                 table, 5, path, &selections);
  EXPECT_EQ(readFileBytes(path), "c\nh\nshared\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  const std::string output = env.takeOutput();
  const std::string perCategory = gbk("遴选特征词共用了");
  const size_t history = output.find(gbk("为类别") + "history" + perCategory);
  const size_t culture = output.find(gbk("为类别") + "culture" + perCategory);
  const size_t closing = output.find(closingLinesPrefix(3));
  EXPECT_EQ(history, 0u) << output;
  EXPECT_LT(history, culture);
  ASSERT_NE(closing, std::string::npos) << output;
  EXPECT_LT(culture, closing);
  EXPECT_EQ(output.back(), '\n');

  ASSERT_EQ(selections.size(), 2u);
  EXPECT_EQ(selections[0].category, "history");
  EXPECT_EQ(selections[0].articleCount, 4);
  EXPECT_EQ(selections[0].quota, 2);
  ASSERT_EQ(selections[0].words.size(), 2u);
  EXPECT_EQ(*selections[0].words[0].word, "shared");
  EXPECT_EQ(selections[0].words[0].score, 3.0);
  EXPECT_EQ(*selections[0].words[1].word, "h");
  EXPECT_EQ(selections[1].quota, 3);
  ASSERT_EQ(selections[1].words.size(), 3u);
  EXPECT_EQ(*selections[1].words[0].word, "c");
  EXPECT_EQ(*selections[1].words[1].word, "shared");
  EXPECT_EQ(*selections[1].words[2].word, "h");
  EXPECT_EQ(selections[1].words[2].score, 0.0);
}

TEST_F(FeatureSelectionTest, QuotaBeyondTheRankingTakesEveryWord) {
  processor.selectFeaturesByChiSquare({"culture"}, dictionary, table, 1000, path);
  EXPECT_EQ(readFileBytes(path), "c\nh\nrare\nshared\n");
  EXPECT_EQ(env.takeOutput().rfind(closingLinesPrefix(4), 0), 0u);
}

TEST_F(FeatureSelectionTest, MeasuresPickTheirOwnTopWords) {
  // Quota 1 per category (featureTotal 2): history 4*2/10 = 0, culture 6*2/10 = 1.
  processor.selectFeaturesByChiSquare({"history", "culture"}, dictionary, table, 2, path);
  EXPECT_EQ(readFileBytes(path), "c\n");
  processor.selectFeaturesByMutualInformation({"history", "culture"}, dictionary, table, 2, path);
  EXPECT_EQ(readFileBytes(path), "c\n");
  // h and rare occur only in history articles: both score ln(10/4) for history, and the tie
  // goes to the lower byte order.
  processor.selectFeaturesByMutualInformation({"history"}, dictionary, table, 3, path);
  EXPECT_EQ(readFileBytes(path), "h\n");
  processor.selectFeaturesByMutualInformation({"history"}, dictionary, table, 6, path);
  EXPECT_EQ(readFileBytes(path), "h\nrare\n");
  processor.selectFeaturesByInformationGain({"culture"}, dictionary, table, 2, path);
  EXPECT_EQ(readFileBytes(path), "c\n");
  const std::string output = env.takeOutput();
  EXPECT_EQ(output.find(gbk("为类别")), std::string::npos) << output;
}

TEST_F(FeatureSelectionTest, NothingSelectedIsRefusedLeavingTheFile) {
  const std::string refusal =
      ": no feature word selected: every category's share of 0 over 10 training articles is 0 "
      "(raise --count; 0 takes every word)";
  writeFileBytes(path, "old\n");
  try {
    processor.selectFeaturesByInformationGain({"history", "culture"}, dictionary, table, 0, path);
    ADD_FAILURE() << "an empty selection was written";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), path + refusal);
  }
  EXPECT_EQ(readFileBytes(path), "old\n");
  EXPECT_THROW(processor.selectFeaturesByCategoryFrequency({}, dictionary, table, 1000, path),
               DataFileError);
  EXPECT_EQ(readFileBytes(path), "old\n");
}

TEST_F(FeatureSelectionTest, CategoryWithoutTrainingRowsTakesNothing) {
  std::vector<CategorySelection> selections;
  writeFileBytes(path, "old\n");
  EXPECT_THROW(selectFeatures(processor.environment(), processor.range(), FeatureMeasure::kChiSquare, {"reading"}, dictionary,
                              table, 1000, path, &selections),
               DataFileError);
  EXPECT_EQ(readFileBytes(path), "old\n");
  ASSERT_EQ(selections.size(), 1u);
  EXPECT_EQ(selections[0].articleCount, 0);
  EXPECT_EQ(selections[0].quota, 0);
  // Its ranking still ran and gave every word a (0, 0) cell.
  EXPECT_EQ(table.at({"shared", "reading"}), (ContingencyCell{0, 0}));
  // Beside a category that has articles it takes nothing and the other's words are written.
  selections.clear();
  selectFeatures(processor.environment(), processor.range(), FeatureMeasure::kChiSquare, {"reading", "history"}, dictionary, table,
                 1000, path, &selections);
  ASSERT_EQ(selections.size(), 2u);
  EXPECT_EQ(selections[0].quota, 0);
  EXPECT_NE(readFileBytes(path), "old\n");
  EXPECT_FALSE(readFileBytes(path).empty());
}

TEST_F(FeatureSelectionTest, EmptyRangeIsRejectedBeforeAnyWork) {
  CorpusProcessor empty = env.processor(5, 4);
  writeFileBytes(path, "old\n");
  EXPECT_THROW(empty.selectFeaturesByChiSquare({"history"}, dictionary, table, 10, path),
               UsageError);
  EXPECT_EQ(readFileBytes(path), "old\n");
}

}  // namespace
}  // namespace newsclass
