#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <sstream>
#include <string>

#include "base/encoding.h"
#include "base/errors.h"
#include "corpusdb/odbc_connection.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::insertArticles;
using testing::TestEnvironment;
using testing::writeFileBytes;

// Replaces the seconds at the end of every timing line by "#", after checking they are a number.
std::string maskSeconds(const std::string& output) {
  static const std::string tokenLabel = gbk("对篇章分词的时间为");
  static const std::string articleLabel = gbk("篇文章共有了");
  static const std::regex seconds("[0-9]+(\\.[0-9]+)?(e[-+][0-9]+)?");
  std::istringstream in(output);
  std::string line, masked;
  while (std::getline(in, line)) {
    size_t cut = std::string::npos;
    if (line.rfind(tokenLabel, 0) == 0) {
      cut = tokenLabel.size();
    } else if (size_t at = line.find(articleLabel); at != std::string::npos) {
      cut = at + articleLabel.size();
    }
    if (cut != std::string::npos) {
      EXPECT_TRUE(std::regex_match(line.substr(cut), seconds)) << line;
      line = line.substr(0, cut) + "#";
    }
    masked += line + "\n";
  }
  return masked;
}

class DictionaryBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFileBytes(env.environment.lexiconPath, "中国 1000\n人民 800\n年 900\n");
    writeFileBytes(env.environment.stopWordsPath, "，\n的\n");
  }

  void insert(const std::vector<testing::TestArticle>& articles) {
    insertArticles(env.environment.connectionString, "TrainingCorpus", articles);
  }

  TestEnvironment env;
  const std::string startLines = gbk("\n导入用户词典后：\n导入0个用户词。\n");
};

TEST_F(DictionaryBuildTest, SegmentedArticlesGivePostingsInProcessingOrder) {
  insert({{1, "t", "c", gbk("中国人民中国，中国的")},
          {2, "t", "c", gbk("人民中国")},
          {3, "t", "c", ""},
          {4, "t", "c", gbk("2008年")},
          {5, "t", "c", gbk("中国")}});
  CorpusProcessor processor = env.processor(1, 4);
  Dictionary dictionary;
  EXPECT_TRUE(
      processor.buildDictionary(dictionary, &CorpusProcessor::tokenizeArticle, "TrainingCorpus"));
  EXPECT_EQ(dictionary, (Dictionary{{gbk("中国"), {{1, 3}, {2, 1}}},
                                    {gbk("人民"), {{1, 1}, {2, 1}}},
                                    {gbk("年"), {{4, 1}}}}));
  // Per article the tokeniser's timing line, then the article's line; the empty article has no
  // tokenising and no id.
  const std::string token = gbk("对篇章分词的时间为#\n");
  EXPECT_EQ(maskSeconds(env.takeOutput()), startLines + token + gbk("处理第1篇文章共有了#\n") +
                                               token + gbk("处理第2篇文章共有了#\n") +
                                               gbk("处理第篇文章共有了#\n") + token +
                                               gbk("处理第4篇文章共有了#\n"));
}

TEST_F(DictionaryBuildTest, QuietConsoleKeepsOnlyTheStartLines) {
  insert({{1, "t", "c", gbk("中国")}, {2, "t", "c", ""}});
  Console quiet(env.output, ConsoleEncoding::kGbk, true);
  env.environment.console = &quiet;
  CorpusProcessor processor = env.processor(1, 2);
  Dictionary dictionary;
  processor.buildDictionary(dictionary, &CorpusProcessor::tokenizeArticle, "TrainingCorpus");
  EXPECT_EQ(env.takeOutput(), startLines);
  EXPECT_EQ(dictionary, (Dictionary{{gbk("中国"), {{1, 1}}}}));
}

TEST_F(DictionaryBuildTest, EmptyRangeReturnsFalseWithoutArticleLines) {
  insert({{1, "t", "c", "a b"}});
  CorpusProcessor processor = env.processor(2, 1);
  Dictionary dictionary;
  EXPECT_FALSE(
      processor.buildDictionary(dictionary, &CorpusProcessor::tokenizeArticle, "TrainingCorpus"));
  EXPECT_TRUE(dictionary.empty());
  EXPECT_EQ(env.takeOutput(), startLines);
}

TEST_F(DictionaryBuildTest, RangeWithOnlyEmptyTextsReturnsFalse) {
  insert({{1, "t", "c", ""}, {2, "t", "c", "   "}});
  CorpusProcessor processor = env.processor(1, 2);
  Dictionary dictionary;
  EXPECT_FALSE(
      processor.buildDictionary(dictionary, &CorpusProcessor::tokenizeArticle, "TrainingCorpus"));
  EXPECT_TRUE(dictionary.empty());
}

TEST_F(DictionaryBuildTest, SecondBuildAddsItsCountsToTheSamePostings) {
  insert({{1, "t", "c", "a b a a"}, {2, "t", "c", "a c"}, {3, "t", "c", "b"}});
  CorpusProcessor processor = env.processor(1, 3);
  Dictionary dictionary;
  processor.buildDictionary(dictionary, &CorpusProcessor::splitBySpace, "TrainingCorpus");
  EXPECT_EQ(dictionary,
            (Dictionary{{"a", {{1, 3}, {2, 1}}}, {"b", {{1, 1}, {3, 1}}}, {"c", {{2, 1}}}}));
  EXPECT_TRUE(
      processor.buildDictionary(dictionary, &CorpusProcessor::splitBySpace, "TrainingCorpus"));
  EXPECT_EQ(dictionary,
            (Dictionary{{"a", {{1, 6}, {2, 2}}}, {"b", {{1, 2}, {3, 2}}}, {"c", {{2, 2}}}}));
}

TEST_F(DictionaryBuildTest, ExistingPostingOfTheSameArticleIsFoundAnywhereInTheList) {
  insert({{1, "t", "c", "a z"}, {2, "t", "c", "a"}});
  CorpusProcessor processor = env.processor(1, 2);
  Dictionary dictionary{{"a", {{1, 5}, {9, 1}}}, {"y", {{4, 4}}}};
  processor.buildDictionary(dictionary, &CorpusProcessor::splitBySpace, "TrainingCorpus");
  EXPECT_EQ(dictionary,
            (Dictionary{{"a", {{1, 6}, {9, 1}, {2, 1}}}, {"y", {{4, 4}}}, {"z", {{1, 1}}}}));
}

// The word-by-word algorithm itself: for each word, an empty list gets (id, 1); otherwise the
// list is scanned from its end for the article's posting, which gets 1 more, or (id, 1) is
// appended.
void addLiterally(Dictionary& dictionary, const WordList& words, int32_t id) {
  for (const std::string& word : words) {
    PostingList& list = dictionary[word];
    bool found = false;
    for (auto posting = list.rbegin(); posting != list.rend() && !found; ++posting) {
      if (posting->articleId == id) {
        ++posting->count;
        found = true;
      }
    }
    if (!found) list.push_back({id, 1});
  }
}

TEST_F(DictionaryBuildTest, RandomTablesWithRepeatedIdsMatchTheWordByWordAlgorithm) {
  // A table whose ids repeat, in rows far apart, reached in insertion order.
  OdbcConnection connection(env.environment.connectionString, "test setup");
  connection.executeStatement("CREATE TABLE Repeats (ArticleId INTEGER, CAbstract TEXT)");
  std::mt19937 random(5);
  std::uniform_int_distribution<int> idOf(1, 12), wordOf(0, 14), lengthOf(0, 12);
  std::vector<std::pair<int32_t, std::string>> rows;
  for (int row = 0; row < 60; ++row) {
    std::string text;
    for (int n = lengthOf(random); n > 0; --n)
      text.append("w").append(std::to_string(wordOf(random))).append(" ");
    rows.emplace_back(idOf(random), text);
    connection.executeWithParameters("INSERT INTO Repeats VALUES (?, ?)",
                                     {std::to_string(rows.back().first), text});
  }
  Dictionary before{{"w3", {{5, 2}, {20, 1}}}, {"w7", {{11, 1}}}, {"zz", {}}};
  Dictionary expected = before;
  CorpusProcessor processor = env.processor(1, 12);
  for (const auto& [id, text] : rows) {
    if (!text.empty()) addLiterally(expected, processor.splitBySpace(text, {}), id);
  }
  Dictionary built = before;
  processor.buildDictionary(built, &CorpusProcessor::splitBySpace, "Repeats");
  EXPECT_EQ(built, expected);
  processor.buildDictionary(built, &CorpusProcessor::splitBySpace, "Repeats");
  for (const auto& [id, text] : rows) {
    if (!text.empty()) addLiterally(expected, processor.splitBySpace(text, {}), id);
  }
  EXPECT_EQ(built, expected);
}

TEST_F(DictionaryBuildTest, WordsAreKeyedAsTheTokeniserGivesThem) {
  // No case folding; splitBySpace keeps stop words and tabs.
  insert({{1, "t", "c", "Word word WORD \xA3\xAC a\tb"}});
  CorpusProcessor processor = env.processor(1, 1);
  Dictionary dictionary;
  processor.buildDictionary(dictionary, &CorpusProcessor::splitBySpace, "TrainingCorpus");
  EXPECT_EQ(dictionary, (Dictionary{{"WORD", {{1, 1}}},
                                    {"Word", {{1, 1}}},
                                    {"a\tb", {{1, 1}}},
                                    {"word", {{1, 1}}},
                                    {"\xA3\xAC", {{1, 1}}}}));
}

TEST_F(DictionaryBuildTest, OnlyTheRangeOfTheNamedTableIsRead) {
  insert({{1, "t", "c", "a"}, {2, "t", "c", "b"}, {3, "t", "c", "c"}});
  insertArticles(env.environment.connectionString, "TestingCorpus", {{2, "t", "c", "x"}});
  CorpusProcessor processor = env.processor(2, 3);
  Dictionary training, testing;
  processor.buildDictionary(training, &CorpusProcessor::splitBySpace, "TrainingCorpus");
  processor.buildDictionary(testing, &CorpusProcessor::splitBySpace, "TestingCorpus");
  EXPECT_EQ(training, (Dictionary{{"b", {{2, 1}}}, {"c", {{3, 1}}}}));
  EXPECT_EQ(testing, (Dictionary{{"x", {{2, 1}}}}));
}

TEST_F(DictionaryBuildTest, TableNameThatIsNotAnIdentifierIsRefused) {
  CorpusProcessor processor = env.processor(1, 2);
  Dictionary dictionary;
  EXPECT_THROW(processor.buildDictionary(dictionary, &CorpusProcessor::splitBySpace,
                                         "TrainingCorpus; drop table TrainingCorpus"),
               UsageError);
}

}  // namespace
}  // namespace newsclass
