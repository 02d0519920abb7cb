// One fold done in memory equals the stages run on a corpus that holds just the fold's training
// articles (renumbered 1 to n in id order) and its held-out articles as the testing ones: the
// same feature words and the same labels.
#include "tune/fold_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "segmentation/character_terms.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"
#include "segmentation/tokenizer.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"
#include "tune/folds.h"

namespace newsclass {
namespace {

struct CorpusLine {
  std::string category;
  std::string title;
  std::string text;  // UTF-8
};

std::vector<CorpusLine> sampleTrainingArticles() {
  std::ifstream in("sample/corpus.tsv");
  std::vector<CorpusLine> lines;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() == 4 && fields[0] == "train") lines.push_back({fields[1], fields[2], fields[3]});
  }
  return lines;
}

class FoldRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.environment.lexiconPath = "testdata/tiny_lexicon.txt";
    env.environment.userDictionaryPath = "sample/dict.txt";
    env.environment.stopWordsPath = "sample/stopwords.txt";
    // Segmented as the stages segment: the lexicon with the user dictionary.
    SegmenterSession session(env.environment);
    const StopWordSet stopWords = loadStopWords(env.environment);
    lines = sampleTrainingArticles();
    ASSERT_EQ(lines.size(), 120u);
    for (size_t i = 0; i < lines.size(); ++i) {
      SegmentedArticle article;
      article.id = static_cast<int32_t>(i + 1);
      const auto listed = std::find(categories.begin(), categories.end(), lines[i].category);
      article.category = static_cast<int>(listed - categories.begin());
      const std::string text = gbk(lines[i].text);
      article.words = articleTerms(env.environment, &tokenizeArticle, text, stopWords, TermKinds::kWords);
      article.characters = articleTerms(env.environment, &tokenizeArticle, text, stopWords, TermKinds::kChars);
      articles.push_back(std::move(article));
    }
    env.takeOutput();
  }

  // The stages through the command line on the fold's own corpus; keywords.dat's lines and
  // predictions.dat's categories in id order.
  void runStages(const std::vector<int>& folds, int heldOut, const std::vector<std::string>& options,
                 std::vector<std::string>& keywords, std::vector<std::string>& labels) {
    const std::string corpus = dir.file("fold.tsv");
    std::ofstream out(corpus);
    out << "split\tcategory\ttitle\ttext\n";
    size_t trained = 0, tested = 0;
    for (const bool testing : {false, true}) {
      for (size_t i = 0; i < lines.size(); ++i) {
        if ((folds[i] == heldOut) != testing) continue;
        out << (testing ? "test" : "train") << '\t' << lines[i].category << '\t' << lines[i].title
            << '\t' << lines[i].text << '\n';
        ++(testing ? tested : trained);
      }
    }
    out.close();
    const std::string data = dir.file("data");
    std::vector<std::string> arguments = {
        "newsclass", "--data-dir", data, "--train-range", "1-" + std::to_string(trained),
        "--test-range", "1-" + std::to_string(tested), "--categories", categoryList(),
        "--stopwords", "sample/stopwords.txt", "--user-dict", "sample/dict.txt", "--lexicon",
        "testdata/tiny_lexicon.txt", "-q"};
    std::vector<std::string> import = arguments;
    import.insert(import.end(), {"import", "--replace", corpus});
    ASSERT_EQ(testing::runCommand(import).code, 0);
    arguments.push_back("pipeline");
    arguments.insert(arguments.end(), options.begin(), options.end());
    const testing::CommandResult pipeline = testing::runCommand(arguments);
    ASSERT_EQ(pipeline.code, 0) << pipeline.err;
    std::istringstream keywordLines(testing::readFileBytes(data + "/keywords.dat"));
    for (std::string line; std::getline(keywordLines, line);) keywords.push_back(line);
    std::istringstream predictions(testing::readFileBytes(data + "/predictions.dat"));
    int32_t id = 0;
    for (std::string category; predictions >> id >> category;) labels.push_back(category);
  }

  std::string categoryList() const {
    std::string list;
    for (const std::string& category : categories) list += (list.empty() ? "" : ",") + category;
    return list;
  }

  testing::TestEnvironment env;
  testing::TempDir dir;
  const CategoryList categories = {"history", "culture", "reading", "military", "society&law",
                                   "entertainment"};
  std::vector<CorpusLine> lines;
  std::vector<SegmentedArticle> articles;
};

TEST_F(FoldRunTest, AFoldInMemoryEqualsTheStagesOnACorpusOfItsTrainingArticles) {
  std::vector<int32_t> ids;
  std::vector<int> classes;
  for (const SegmentedArticle& article : articles) {
    ids.push_back(article.id);
    classes.push_back(article.category);
  }
  const std::vector<int> folds = stratifiedFolds(ids, classes, 5, 3);
  struct Case {
    TermKinds terms;
    std::string measure;
    int32_t count;
    std::vector<std::string> options;
    ModelDescription model;
  };
  ModelDescription linear;
  linear.classifier = "linear";
  linear.categories = categories;
  ModelDescription logistic = linear;
  logistic.classifier = "logistic";
  logistic.cost = 4;
  logistic.balancedClassWeights = true;
  ModelDescription blended = linear;
  blended.knnWeight = 0.5;
  blended.k = 5;
  ModelDescription knn;
  knn.categories = categories;
  knn.k = 5;
  ModelDescription knnTfidf = knn;
  knnTfidf.k = 7;
  knnTfidf.similarityVote = true;
  knnTfidf.weighting = Weighting::kTfidf;
  const std::vector<Case> cases = {
      {TermKinds::kWords, "chi", 300, {"--count", "300", "--k", "5"}, knn},
      {TermKinds::kWordsAndChars, "ig", 500,
       {"--terms", "words+chars", "--measure", "ig", "--count", "500", "--k", "7", "--vote",
        "similarity", "--weighting", "tfidf"},
       knnTfidf},
      {TermKinds::kWordsAndChars, "chi", 0,
       {"--terms", "words+chars", "--count", "0", "--classifier", "linear"}, linear},
      {TermKinds::kWords, "ig", 300,
       {"--measure", "ig", "--count", "300", "--classifier", "logistic", "--c", "4",
        "--class-weight", "balanced"},
       logistic},
      {TermKinds::kChars, "df", 500,
       {"--terms", "chars", "--measure", "df", "--count", "500", "--classifier", "linear",
        "--knn-weight", "0.5", "--k", "5"},
       blended}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.measure);
    const int heldOut = 2;
    PreparedFoldPtr fold =
        prepareFold(articles, folds, heldOut, categories, c.terms, c.measure, c.count, 2);
    std::vector<std::string> keywords, labels;
    runStages(folds, heldOut, c.options, keywords, labels);
    EXPECT_EQ(foldKeywords(*fold), keywords);
    const std::vector<int> inMemory = labelHeldOut(*fold, c.model);
    ASSERT_EQ(inMemory.size(), labels.size());
    ASSERT_EQ(heldOutIds(*fold).size(), 24u);
    for (size_t i = 0; i < labels.size(); ++i) {
      EXPECT_EQ(categories[static_cast<size_t>(inMemory[i])], labels[i]) << i;
    }
    if (c.model.classifier == "knn") {
      // One search for a larger K serves this K: its lists begin with the K nearest.
      const auto wide = heldOutNeighbours(*fold, c.model.weighting, 30, 3);
      EXPECT_EQ(voteHeldOut(*fold, wide, c.model.k, c.model.similarityVote, categories), inMemory);
      const auto narrow = heldOutNeighbours(*fold, c.model.weighting, c.model.k, 1);
      ASSERT_EQ(narrow.size(), wide.size());
      for (size_t i = 0; i < narrow.size(); ++i) {
        ASSERT_EQ(narrow[i].size(), static_cast<size_t>(c.model.k));
        for (size_t j = 0; j < narrow[i].size(); ++j) {
          EXPECT_EQ(narrow[i][j].articleId, wide[i][j].articleId);
          EXPECT_EQ(narrow[i][j].similarity, wide[i][j].similarity);
        }
      }
      EXPECT_THROW(heldOutNeighbours(*fold, c.model.weighting, 97, 1), UsageError);
    }
  }
}

}  // namespace
}  // namespace newsclass
