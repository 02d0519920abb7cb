#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;
using testing::writeFileBytes;

class KeywordsTest : public ::testing::Test {
 protected:
  std::string keywordFile(const std::string& bytes) {
    std::string path = env.dir.file("keywords.dat");
    writeFileBytes(path, bytes);
    return path;
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
};

TEST_F(KeywordsTest, TokensInFileOrderDuplicatesKeptAnyWhiteSpaceSeparates) {
  const std::string path = keywordFile(gbk("  经济\t体育\r\n经济\v\f足球 x"));
  EXPECT_EQ(processor.readKeywords(path),
            (std::vector<std::string>{gbk("经济"), gbk("体育"), gbk("经济"), gbk("足球"), "x"}));
}

TEST_F(KeywordsTest, EmptyOrBlankFileGivesNoKeywords) {
  EXPECT_TRUE(processor.readKeywords(keywordFile("")).empty());
  EXPECT_TRUE(processor.readKeywords(keywordFile(" \n\r\n\t ")).empty());
}

TEST_F(KeywordsTest, UnreadableKeywordFileIsAnErrorNamingIt) {
  const std::string missing = env.dir.file("no-keywords.dat");
  try {
    processor.readKeywords(missing);
    FAIL() << "no error for a missing keyword file";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              missing + ": cannot open for reading: No such file or directory");
  }
  // A folder opens but never reads; it must not loop or pass as an empty list.
  EXPECT_THROW(processor.readKeywords(env.dir.path()), DataFileError);
  Dictionary dictionary;
  VsmModel model;
  EXPECT_THROW(processor.buildTrainingVsm(dictionary, model, missing), DataFileError);
  EXPECT_TRUE(model.empty());
}

TEST_F(KeywordsTest, StatisticsAreGreatestCountAndPostingNumber) {
  Dictionary dictionary;
  dictionary[gbk("经济")] = {{1, 2}, {5, 7}, {9, 7}, {12, 3}};
  dictionary[gbk("体育")] = {{3, 1}};
  dictionary[gbk("空")] = {};
  dictionary["zero"] = {{4, 0}, {6, -2}};  // M starts at 0 and only a greater count replaces it
  const std::string path = keywordFile(gbk("经济 体育 未知 空 经济 zero"));
  EXPECT_EQ(processor.keywordStatistics(dictionary, path),
            (std::vector<KeywordStatistic>{{7, 4}, {1, 1}, {0, 0}, {0, 0}, {7, 4}, {0, 2}}));
}

TEST_F(KeywordsTest, NormalizeGivesUnitLengthAndKeepsIndices) {
  WeightedKeywordList normal = processor.normalizeVector({{3, 3.0}, {7, -4.0}, {9, 0.0}});
  EXPECT_EQ(normal, (WeightedKeywordList{{3, 0.6}, {7, -0.8}, {9, 0.0}}));
}

TEST_F(KeywordsTest, ZeroVectorStaysZeroAndEmptyStaysEmpty) {
  WeightedKeywordList zero = processor.normalizeVector({{0, 0.0}, {1, -0.0}});
  ASSERT_EQ(zero.size(), 2u);
  EXPECT_EQ(zero[0].second, 0.0);  // not NaN
  EXPECT_EQ(zero[1].second, 0.0);
  EXPECT_TRUE(processor.normalizeVector({}).empty());
}

}  // namespace
}  // namespace newsclass
