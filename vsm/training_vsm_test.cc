#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::TestEnvironment;
using testing::writeFileBytes;

class TrainingVsmTest : public ::testing::Test {
 protected:
  std::string keywordFile(const std::string& utf8Words) {
    std::string path = env.dir.file("keywords.dat");
    writeFileBytes(path, gbk(utf8Words));
    return path;
  }
  // The %g text of one vector as the vector file holds it.
  std::string savedText(const VsmModel& model) {
    std::string path = env.dir.file("model.dat");
    CorpusProcessor(1, 1, env.environment).saveVsm(model, path);
    return readFileBytes(path);
  }

  TestEnvironment env;
};

TEST_F(TrainingVsmTest, TfidfWorkedExampleGivesTheseFileLines) {
  // N = 4: 经济 in article 1 twice and article 2 once (df 2), 体育 in article 1 (df 1), 文化 in
  // every article (idf 0). Article 3 holds only 文化, article 4 nothing.
  Dictionary dictionary;
  dictionary[gbk("经济")] = {{1, 2}, {2, 1}};
  dictionary[gbk("体育")] = {{1, 1}};
  dictionary[gbk("文化")] = {{1, 1}, {2, 3}, {3, 1}, {4, 1}};
  env.environment.weighting = Weighting::kTfidf;
  CorpusProcessor processor = env.processor(1, 4);
  VsmModel model;
  EXPECT_TRUE(processor.buildTrainingVsm(dictionary, model, keywordFile("经济 体育 文化")));
  // Article 1: (1 + ln 2) ln 2 = 1.17360 and ln 4 = 1.38629, of length 1.81636.
  EXPECT_EQ(savedText(model),
            "1\n3\n0.646129 0.763228 0 \n"
            "2\n3\n1 0 0 \n"
            "3\n3\n0 0 0 \n"
            "4\n3\n0 0 0 \n");
}

TEST_F(TrainingVsmTest, WorkedExample) {
  // N = 6000; keyword 0 with (M, df) = (5, 60) is in article 17 (three times: presence counts),
  // keyword 1 with (M, df) = (1, 600) is not.
  Dictionary dictionary;
  PostingList& economy = dictionary[gbk("经济")];
  for (int32_t id = 1; id <= 60; ++id) economy.push_back({id, id == 17 ? 3 : id == 40 ? 5 : 1});
  PostingList& sports = dictionary[gbk("体育")];
  for (int32_t id = 101; id <= 700; ++id) sports.push_back({id, 1});
  CorpusProcessor processor = env.processor(1, 6000);
  VsmModel model;
  EXPECT_TRUE(processor.buildTrainingVsm(dictionary, model, keywordFile("经济 体育")));

  ASSERT_EQ(model.size(), 6000u);
  EXPECT_EQ(model.begin()->first, 1);
  EXPECT_EQ(model.rbegin()->first, 6000);
  ASSERT_EQ(model.at(17).size(), 2u);
  EXPECT_NEAR(model.at(17)[0], 0.941742, 1e-6);
  EXPECT_NEAR(model.at(17)[1], 0.336336, 1e-6);
  EXPECT_DOUBLE_EQ(model.at(17)[0] / model.at(17)[1], (1.0 / 5.0 + 0.5) * std::log(100.0) /
                                                          (0.5 * std::log(10.0)));
  const std::string label = gbk("为训练语料库集合建立VSM模型共用了");
  std::string output = env.takeOutput();
  EXPECT_EQ(output.compare(0, label.size(), label), 0) << output;
  EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
  EXPECT_EQ(env.warnings.str(), "");

  EXPECT_EQ(savedText({{17, model.at(17)}}), "17\n2\n0.941742 0.336336 \n");
  // An id no posting carries: 0.5 * ln(N / df) everywhere before normalising.
  EXPECT_EQ(savedText({{6000, model.at(6000)}}), "6000\n2\n0.894427 0.447214 \n");
}

TEST_F(TrainingVsmTest, PresenceNotCountAndDuplicateKeywordPositions) {
  Dictionary dictionary;
  dictionary[gbk("甲")] = {{1, 1}, {2, 3}};
  dictionary[gbk("乙")] = {{3, 2}};
  CorpusProcessor processor = env.processor(1, 4);
  VsmModel model;
  processor.buildTrainingVsm(dictionary, model, keywordFile("甲 乙 甲"));
  ASSERT_EQ(model.size(), 4u);
  EXPECT_EQ(model.at(1), model.at(2));
  EXPECT_EQ(model.at(1)[0], model.at(1)[2]);
  EXPECT_EQ(model.at(3)[0], model.at(3)[2]);
  EXPECT_EQ(savedText(model),
            "1\n3\n0.539164 0.646997 0.539164 \n2\n3\n0.539164 0.646997 0.539164 \n"
            "3\n3\n0.235702 0.942809 0.235702 \n4\n3\n0.408248 0.816497 0.408248 \n");
}

TEST_F(TrainingVsmTest, KeywordWithoutPostingsWeighsZeroWithOneWarning) {
  Dictionary dictionary;
  dictionary[gbk("甲")] = {{1, 1}};
  dictionary[gbk("空")] = {};
  CorpusProcessor processor = env.processor(1, 2);
  VsmModel model;
  const std::string path = keywordFile("未见 甲 空 未见");
  processor.buildTrainingVsm(dictionary, model, path);
  ASSERT_EQ(model.size(), 2u);
  EXPECT_EQ(model.at(1), (WeightVector{0.0, 1.0, 0.0, 0.0}));
  EXPECT_EQ(model.at(2), (WeightVector{0.0, 1.0, 0.0, 0.0}));
  EXPECT_EQ(env.warnings.str(), path + ": 3 keywords have no postings in the dictionary, the "
                                       "first \"" + gbk("未见") +
                                    "\"; buildTrainingVsm weighs them 0 in every vector\n");

  env.warnings.str("");
  processor.buildTrainingVsm(dictionary, model, keywordFile("甲 空"));
  EXPECT_EQ(env.warnings.str(), path + ": keyword \"" + gbk("空") +
                                    "\" has no postings in the dictionary; buildTrainingVsm "
                                    "weighs it 0 in every vector\n");
}

TEST_F(TrainingVsmTest, KeywordInEveryArticleGivesAZeroVectorNotNaN) {
  Dictionary dictionary;
  dictionary[gbk("甲")] = {{1, 1}, {2, 4}};
  CorpusProcessor processor = env.processor(1, 2);
  VsmModel model;
  processor.buildTrainingVsm(dictionary, model, keywordFile("甲"));
  EXPECT_EQ(model, (VsmModel{{1, {0.0}}, {2, {0.0}}}));
}

TEST_F(TrainingVsmTest, PostingsOutsideTheRangeCountInDfOnly) {
  // Range 5..6, so N = 2; 甲 has four postings (df > N: a negative IDF, no clamp).
  Dictionary dictionary;
  dictionary[gbk("甲")] = {{5, 1}, {6, 1}, {7, 1}, {100, 1}};
  dictionary[gbk("乙")] = {{7, 1}};
  CorpusProcessor processor = env.processor(5, 6);
  VsmModel model{{7, {9.0}}, {5, {9.0}}};
  EXPECT_TRUE(processor.buildTrainingVsm(dictionary, model, keywordFile("甲 乙")));
  ASSERT_EQ(model.size(), 3u);
  EXPECT_EQ(model.at(7), WeightVector{9.0});  // outside the range: kept, not rebuilt
  EXPECT_EQ(savedText({{5, model.at(5)}, {6, model.at(6)}}),
            "5\n2\n-0.948683 0.316228 \n6\n2\n-0.948683 0.316228 \n");
}

TEST_F(TrainingVsmTest, EmptyKeywordFileOrEmptyRangeStoresNothing) {
  Dictionary dictionary;
  dictionary[gbk("甲")] = {{1, 1}};
  VsmModel model;
  EXPECT_FALSE(env.processor(1, 3).buildTrainingVsm(dictionary, model, keywordFile(" \n ")));
  EXPECT_TRUE(model.empty());
  EXPECT_FALSE(env.takeOutput().empty());  // the timing line all the same
  EXPECT_FALSE(env.processor(3, 1).buildTrainingVsm(dictionary, model, keywordFile("甲")));
  EXPECT_TRUE(model.empty());
  model[42] = {1.0};
  EXPECT_TRUE(env.processor(1, 3).buildTrainingVsm(dictionary, model, keywordFile("")));
  EXPECT_EQ(model, (VsmModel{{42, {1.0}}}));
}

// The stage as written: per article and keyword, tf counts the postings that carry the id.
VsmModel literalTrainingModel(CorpusProcessor& processor, const Dictionary& dictionary,
                              const std::string& path) {
  const std::vector<std::string> keywords = processor.readKeywords(path);
  const std::vector<KeywordStatistic> stats = processor.keywordStatistics(dictionary, path);
  const double n = processor.lastArticleId - processor.firstArticleId + 1;
  VsmModel model;
  for (int32_t a = processor.firstArticleId; a <= processor.lastArticleId; ++a) {
    WeightedKeywordList list;
    for (size_t i = 0; i < keywords.size(); ++i) {
      int32_t tf = 0;
      auto found = dictionary.find(keywords[i]);
      if (found != dictionary.end()) {
        for (const Posting& p : found->second) tf += p.articleId == a ? 1 : 0;
      }
      double weight = stats[i].documentFrequency == 0
                          ? 0.0
                          : (static_cast<double>(tf) / static_cast<double>(stats[i].maxCount) + 0.5) *
                                std::log(n / static_cast<double>(stats[i].documentFrequency));
      list.emplace_back(static_cast<int32_t>(i), weight);
    }
    WeightVector weights;
    for (const auto& entry : processor.normalizeVector(list)) weights.push_back(entry.second);
    model[a] = weights;
  }
  return model;
}

TEST_F(TrainingVsmTest, SameBitsAsTheLiteralAlgorithm) {
  std::mt19937 random(7);
  Dictionary dictionary;
  std::string words;
  for (int w = 0; w < 120; ++w) {
    std::string word = std::to_string(w);
    word.insert(word.begin(), 'w');
    PostingList& list = dictionary[word];
    int df = static_cast<int>(random() % 40);
    for (int k = 0; k < df; ++k) {
      // Ids inside and outside the range 10..209; now and then an id repeated in one list.
      int32_t id = static_cast<int32_t>(random() % 240);
      list.push_back({id, 1 + static_cast<int32_t>(random() % 9)});
      if (random() % 25 == 0) list.push_back({id, 2});
    }
    words.append(word).append(" ");
    if (w % 13 == 0) words.append(word).append(" ");  // listed twice
    if (w % 17 == 0) words.append("missing").append(std::to_string(w)).append(" ");
  }
  const std::string path = keywordFile(words);
  CorpusProcessor processor = env.processor(10, 209);
  VsmModel fast;
  processor.buildTrainingVsm(dictionary, fast, path);
  VsmModel literal = literalTrainingModel(processor, dictionary, path);
  ASSERT_EQ(fast.size(), literal.size());
  for (const auto& [id, weights] : literal) {
    ASSERT_EQ(fast.at(id).size(), weights.size());
    EXPECT_EQ(std::memcmp(fast.at(id).data(), weights.data(), weights.size() * sizeof(double)), 0)
        << "article " << id;
  }
}

}  // namespace
}  // namespace newsclass
