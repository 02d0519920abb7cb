#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"
#include "vsm/keyword_weights.h"
#include "vsm/testing_vsm.h"

namespace newsclass {
namespace {

using testing::insertArticles;
using testing::readFileBytes;
using testing::TestEnvironment;
using testing::writeFileBytes;

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Training statistics over N = 4 (processor range 1..4): 经济 (M, df) = (2, 2), 体育 (1, 1).
// The testing articles are read from ids 1..3 of TestingCorpus.
class TestingVsmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFileBytes(env.environment.lexiconPath, "经济 100 n\n体育 100 n\n天气 100 n\n");
    writeFileBytes(env.environment.stopWordsPath, "的\n");
    dictionary[gbk("经济")] = {{1, 2}, {2, 1}};
    dictionary[gbk("体育")] = {{3, 1}};
    insertArticles(env.environment.connectionString, "TestingCorpus",
                   {{1, "t1", "history", gbk("经济 经济的 经济 体育")},
                    {2, "t2", "history", ""},
                    {3, "t3", "culture", gbk("天气 晴朗")},
                    {5, "t5", "culture", gbk("经济")}});
  }
  std::string keywordFile(const std::string& utf8Words) {
    std::string path = env.dir.file("keywords.dat");
    writeFileBytes(path, gbk(utf8Words));
    return path;
  }
  std::string savedText(const VsmModel& model) {
    std::string path = env.dir.file("testingVSM.dat");
    processor.saveVsm(model, path);
    env.takeOutput();
    return readFileBytes(path);
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 4);
  Dictionary dictionary;
};

TEST_F(TestingVsmTest, OccurrencesWeightedWithTheTrainingRangeSize) {
  VsmModel model;
  EXPECT_TRUE(processor.buildTestingVsm(1, 3, "TestingCorpus", dictionary, model,
                                        keywordFile("经济 体育 经济")));
  // Article 1: tf(经济) = 3 > M = 2, uncapped: (3/2 + 0.5) ln(4/2) and (1/1 + 0.5) ln(4/1).
  // Article 2 has no text and gets no vector; article 3 holds no keyword; 5 is out of range.
  // With N = 3 (the testing range) the weights would differ.
  std::vector<std::string> lines = splitLines(env.takeOutput());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], gbk("导入用户词典后："));
  EXPECT_EQ(lines[2], gbk("导入0个用户词。"));
  EXPECT_TRUE(startsWith(lines[3], gbk("对篇章分词的时间为"))) << lines[3];
  EXPECT_TRUE(startsWith(lines[4], gbk("对篇章分词的时间为"))) << lines[4];
  EXPECT_TRUE(startsWith(lines[5], gbk("为测试集合建立VSM模型共耗时"))) << lines[5];
  EXPECT_EQ(env.warnings.str(), "");

  EXPECT_EQ(savedText(model),
            "1\n3\n0.485071 0.727607 0.485071 \n3\n3\n0.408248 0.816497 0.408248 \n");
}

TEST_F(TestingVsmTest, TheKeywordlessVectorIsWhatTheFileHoldsForAnArticleWithoutAKeyword) {
  VsmModel model;
  const std::string path = keywordFile("经济 体育 经济");
  processor.buildTestingVsm(1, 3, "TestingCorpus", dictionary, model, path);
  const std::string saved = env.dir.file("testingVSM.dat");
  processor.saveVsm(model, saved);
  VsmModel loaded;
  processor.loadVsm(loaded, saved);
  const std::vector<std::string> keywords = processor.readKeywords(path);
  const vsm::WeightTable table(vsm::statisticsOf(vsm::findPostingLists(dictionary, keywords)), 4);
  const WeightVector keywordless = vsm::keywordlessTestingVector(table);
  // Article 3 holds no keyword: its vector, as read back, bit for bit; not the unrounded one,
  // and not article 1's.
  EXPECT_EQ(keywordless, loaded.at(3));
  EXPECT_NE(keywordless, model.at(3));
  EXPECT_NE(keywordless, loaded.at(1));
}

TEST_F(TestingVsmTest, KeywordWithoutPostingsWeighsZeroEvenWhenPresent) {
  VsmModel model{{3, {7.0}}, {9, {7.0}}};
  const std::string path = keywordFile("天气 经济");
  processor.buildTestingVsm(3, 3, "TestingCorpus", dictionary, model, path);
  EXPECT_EQ(model, (VsmModel{{3, {0.0, 1.0}}, {9, {7.0}}}));
  EXPECT_EQ(env.warnings.str(), path + ": keyword \"" + gbk("天气") +
                                    "\" has no postings in the dictionary; buildTestingVsm "
                                    "weighs it 0 in every vector\n");
}

TEST_F(TestingVsmTest, EmptyKeywordFileStillSegmentsEveryArticle) {
  VsmModel model;
  EXPECT_FALSE(
      processor.buildTestingVsm(1, 5, "TestingCorpus", dictionary, model, keywordFile("")));
  EXPECT_TRUE(model.empty());
  std::vector<std::string> lines = splitLines(env.takeOutput());
  ASSERT_EQ(lines.size(), 7u);  // start-up lines, articles 1, 3 and 5, the timing line
  EXPECT_TRUE(startsWith(lines[5], gbk("对篇章分词的时间为")));
}

TEST_F(TestingVsmTest, BadTableNameFailsBeforeTheSegmenterStarts) {
  VsmModel model;
  EXPECT_THROW(processor.buildTestingVsm(1, 3, "TestingCorpus;drop", dictionary, model,
                                         keywordFile("经济")),
               UsageError);
  EXPECT_EQ(env.takeOutput(), "");
  EXPECT_FALSE(env.segmenter.started());
}

}  // namespace
}  // namespace newsclass
