#include "segmentation/parallel_tokenizing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "corpusdb/odbc_connection.h"
#include "segmentation/segmenter_binding.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;

// What a stage saw: each consumed row's id text and words, and the console's lines between.
struct StageView {
  std::vector<std::string> consumed;
  std::string output;
  std::string error;
};

class ParallelTokenizingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::writeFileBytes(env.environment.lexiconPath, "中国 1000\n人民 800\n年 900\n");
    testing::writeFileBytes(env.environment.stopWordsPath, "的\n");
  }

  // Rows 1..count with varied texts in a table whose ids are text, so that one can be bad; every
  // 7th row has no text. More rows than one batch holds.
  void insertRows(int count, int badRow = 0) {
    OdbcConnection connection(env.environment.connectionString, "test setup");
    connection.executeStatement("CREATE TABLE Articles (ArticleId TEXT, CAbstract TEXT)");
    connection.beginTransaction();
    for (int id = 1; id <= count; ++id) {
      std::string text = id % 7 == 0 ? "" : gbk(id % 3 == 0 ? "中国人民的" : "人民年") + std::to_string(id % 11);
      connection.executeWithParameters("INSERT INTO Articles VALUES (?, ?)",
                                       {(id == badRow ? "x" : "") + std::to_string(id), text});
    }
    connection.commit();
  }

  // The detail lines with their seconds cut off, so that runs compare.
  static std::string withoutSeconds(std::string text) {
    const std::string label = gbk("对篇章分词的时间为");
    std::string result;
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      std::string line = text.substr(at, end - at);
      if (line.rfind(label, 0) == 0) line = label + "#";
      result += line + "\n";
      at = end + 1;
    }
    return result;
  }

  StageView tokenize(int threads, bool tokenizeBeforeId) {
    env.environment.threads = threads;
    CorpusProcessor processor = env.processor(1, 100000);
    const StopWordSet stopWords = processor.loadStopWords();
    SegmenterSession session(processor.environment());
    env.takeOutput();
    OdbcConnection connection(env.environment.connectionString, "test");
    RowCursor rows = connection.execute(
        "SELECT ArticleId, CAbstract FROM Articles ORDER BY rowid");
    TokenizingOptions options;
    options.tokenizeBeforeId = tokenizeBeforeId;
    options.prepare = [](TokenizedArticle& article, size_t) {
      article.weights.assign(1, static_cast<double>(article.words.size()));
    };
    StageView run;
    try {
      tokenizeRows(processor.environment(), rows, &tokenizeArticle, stopWords, options,
                   [&](TokenizedArticle& article) {
                     std::string seen = article.idText + ":";
                     for (const std::string& word : article.words) seen += word + "/";
                     if (article.hasText) seen += std::to_string(article.weights.at(0));
                     run.consumed.push_back(seen);
                     processor.console().detail("consumed " + article.idText);
                   });
    } catch (const DatabaseFault& fault) {
      run.error = fault.what();
    }
    run.output = withoutSeconds(env.takeOutput());
    return run;
  }

  TestEnvironment env;
};

TEST_F(ParallelTokenizingTest, RowsComeInOrderWithTheirLinesForAnyThreadCount) {
  insertRows(4500);
  const StageView one = tokenize(1, true);
  ASSERT_EQ(one.consumed.size(), 4500u);
  EXPECT_EQ(one.consumed[0], "1:" + gbk("人民") + "/" + gbk("年") + "/2.000000");
  EXPECT_EQ(one.consumed[6], ":");  // row 7 has no text: no id read, no words
  EXPECT_EQ(one.consumed[2], "3:" + gbk("中国") + "/" + gbk("人民") + "/2.000000");
  // Each row with text: the tokeniser's line, then the stage's own.
  const std::string token = gbk("对篇章分词的时间为#\n");
  EXPECT_EQ(one.output.substr(0, 2 * token.size() + 22),
            token + "consumed 1\n" + token + "consumed 2\n");
  EXPECT_TRUE(one.error.empty());
  for (int threads : {2, 4}) {
    const StageView many = tokenize(threads, true);
    EXPECT_EQ(many.consumed, one.consumed) << threads;
    EXPECT_TRUE(many.output == one.output) << threads;
  }
}

TEST_F(ParallelTokenizingTest, ABadIdStopsAfterTheRowsBeforeItWhateverTheThreads) {
  insertRows(2500, 2300);  // the bad id is in the second batch
  const std::string token = gbk("对篇章分词的时间为#\n");
  for (bool tokenizeBeforeId : {true, false}) {
    const StageView one = tokenize(1, tokenizeBeforeId);
    ASSERT_EQ(one.consumed.size(), 2299u);
    EXPECT_EQ(one.consumed.back().substr(0, 5), "2299:");
    EXPECT_NE(one.error.find("x2300"), std::string::npos) << one.error;
    // The failed row's text is tokenised, and its line written, only when the text goes first.
    const std::string end = "consumed 2299\n" + (tokenizeBeforeId ? token : std::string());
    ASSERT_GE(one.output.size(), end.size());
    EXPECT_EQ(one.output.substr(one.output.size() - end.size()), end) << tokenizeBeforeId;
    const StageView four = tokenize(4, tokenizeBeforeId);
    EXPECT_EQ(four.consumed, one.consumed);
    EXPECT_TRUE(four.output == one.output);
    EXPECT_EQ(four.error, one.error);
  }
}

}  // namespace
}  // namespace newsclass
