// The model interface on the sample corpus: loaded by the factory from the data folder a
// pipeline built, its answers, written as predict writes them, are the bytes predict printed
// for the same lines before predict went through the interface (testdata/predict_knn.jsonl,
// testdata/predict_linear.jsonl from testdata/predict_lines.txt), and the model, predict and
// classify label every testing article alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "cli/predict_answer_format.h"
#include "corpusdb/odbc_connection.h"
#include "models/model_factory.h"
#include "segmentation/character_terms.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"
#include "segmentation/tokenizer.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

constexpr const char* kLexicon = "/usr/lib/python3/dist-packages/jieba/dict.txt";

class PredictModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
    ASSERT_EQ(run({"import", "sample/corpus.tsv"}).code, 0);
    environment.connectionString = sqliteConnectionString(data + "/corpus.db");
    environment.lexiconPath = kLexicon;
    environment.userDictionaryPath = "sample/dict.txt";
    environment.stopWordsPath = "sample/stopwords.txt";
    environment.console = &console;
    environment.segmenter = &segmenter;
    environment.threads = 2;
  }

  testing::CommandResult run(std::vector<std::string> command, const std::string& input = "") {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(data);
    arguments.insert(arguments.end(), {"--threads", "2", "-q"});
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments, input);
  }

  // The model the sample's pipeline builds: the six categories, training ids 1-120.
  ModelDescription sampleModel(const std::string& classifier, Weighting weighting) const {
    ModelDescription description;
    description.classifier = classifier;
    description.weighting = weighting;
    description.files = {data + "/dict.dat", data + "/keywords.dat", data + "/trainingVSM.dat",
                         data + "/testingVSM.dat", data + "/linear.model"};
    description.categories = {"history", "culture", "reading", "military", "society&law",
                              "entertainment"};
    description.range = {1, 120};
    return description;
  }

  // The model's answer to each text (UTF-8), cut as predict cuts a line; a blank text gets the
  // empty answer without being asked.
  std::vector<ModelAnswer> answers(const ModelDescription& description,
                                   const std::vector<std::string>& texts) {
    const std::unique_ptr<Model> model = loadModel(description, environment);
    SegmenterSession session(environment);
    const StopWordSet stopWords = loadStopWords(environment);
    const std::unique_ptr<Model::Scratch> scratch = model->makeScratch();
    std::vector<ModelAnswer> answered;
    for (const std::string& text : texts) {
      const std::string gbkText = userTextToGbk(text);
      if (gbkText.find_first_not_of(" \t\r\v\f") == std::string::npos) {
        answered.emplace_back();
      } else {
        answered.push_back(model->answer(
            articleTerms(environment, &tokenizeArticle, gbkText, stopWords, description.terms),
            *scratch, false));
      }
    }
    return answered;
  }

  // The answers as predict's jsonl lines in UTF-8, numbered from 1.
  static std::string jsonl(const std::vector<ModelAnswer>& answered, bool neighbours) {
    std::string lines;
    for (size_t i = 0; i < answered.size(); ++i) {
      PendingLine line;
      line.number = i + 1;
      line.key = std::to_string(i + 1);
      line.answer = answered[i];
      lines += gbkToUtf8(formatAnswer(line, {"jsonl", false, neighbours}));
    }
    return lines;
  }

  static std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // The testing articles' texts of the sample corpus, in id order, and their ids.
  static void testingTexts(std::vector<std::string>& texts, std::vector<std::string>& ids) {
    std::ifstream in("sample/corpus.tsv");
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields;
      std::stringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
      if (fields.size() == 4 && fields[0] == "test") {
        texts.push_back(fields[3]);
        ids.push_back(std::to_string(ids.size() + 1));
      }
    }
  }

  // "<id> <category>" per labelled answer, as predictions.dat holds them.
  static std::string labels(const std::vector<std::string>& ids,
                            const std::vector<ModelAnswer>& answered) {
    std::string lines;
    for (size_t i = 0; i < answered.size(); ++i) {
      if (answered[i].labelled) lines += ids[i] + " " + answered[i].category + "\n";
    }
    return lines;
  }

  testing::TempDir dir;
  std::string data = dir.file("data");
  std::ostringstream consoleBytes;
  std::ostringstream warnings;
  Console console{consoleBytes, ConsoleEncoding::kGbk, true};
  Segmenter segmenter;
  StageEnvironment environment{warnings};
};

TEST_F(PredictModelTest, TheKnnModelAnswersWithTheBytesPredictPrinted) {
  ASSERT_EQ(run({"pipeline", "--measure", "chi", "--count", "1000", "--k", "10"}).code, 0);
  const std::vector<ModelAnswer> answered =
      answers(sampleModel("knn", Weighting::kSpec), linesOf("testdata/predict_lines.txt"));
  EXPECT_EQ(jsonl(answered, true), testing::readFileBytes("testdata/predict_knn.jsonl"));
  // The blank line and the line without a keyword.
  EXPECT_FALSE(answered[1].labelled);
  EXPECT_FALSE(answered[3].labelled);
}

TEST_F(PredictModelTest, TheLinearModelAnswersWithTheBytesPredictPrinted) {
  ASSERT_EQ(run({"pipeline", "--count", "0", "--classifier", "linear"}).code, 0);
  const std::vector<ModelAnswer> answered =
      answers(sampleModel("linear", Weighting::kTfidf), linesOf("testdata/predict_lines.txt"));
  EXPECT_EQ(jsonl(answered, false), testing::readFileBytes("testdata/predict_linear.jsonl"));
}

TEST_F(PredictModelTest, TheModelPredictAndClassifyLabelEveryTestingTextAlike) {
  std::vector<std::string> texts, ids;
  testingTexts(texts, ids);
  ASSERT_EQ(texts.size(), 30u);
  std::string tsvLines;
  for (size_t i = 0; i < texts.size(); ++i) tsvLines += ids[i] + "\t" + texts[i] + "\n";
  struct Case {
    std::vector<std::string> pipeline;
    ModelDescription model;
  };
  ModelDescription tfidfSimilarity = sampleModel("knn", Weighting::kTfidf);
  tfidfSimilarity.similarityVote = true;
  ModelDescription knnCharacters = sampleModel("knn", Weighting::kSpec);
  knnCharacters.terms = TermKinds::kChars;
  ModelDescription knnBoth = tfidfSimilarity;
  knnBoth.terms = TermKinds::kWordsAndChars;
  ModelDescription linearCharacters = sampleModel("linear", Weighting::kTfidf);
  linearCharacters.terms = TermKinds::kChars;
  ModelDescription linearBoth = sampleModel("linear", Weighting::kTfidf);
  linearBoth.terms = TermKinds::kWordsAndChars;
  ModelDescription blended = sampleModel("linear", Weighting::kTfidf);
  blended.terms = TermKinds::kWordsAndChars;
  blended.knnWeight = 0.5;
  blended.k = 5;
  ModelDescription logistic = sampleModel("logistic", Weighting::kTfidf);
  ModelDescription logisticCharacters = sampleModel("logistic", Weighting::kTfidf);
  logisticCharacters.terms = TermKinds::kChars;
  ModelDescription logisticBoth = sampleModel("logistic", Weighting::kTfidf);
  logisticBoth.terms = TermKinds::kWordsAndChars;
  const std::vector<Case> cases = {
      {{"pipeline"}, sampleModel("knn", Weighting::kSpec)},
      {{"pipeline", "--weighting", "tfidf", "--vote", "similarity"}, tfidfSimilarity},
      {{"pipeline", "--count", "0", "--classifier", "linear"},
       sampleModel("linear", Weighting::kTfidf)},
      {{"pipeline", "--terms", "chars"}, knnCharacters},
      {{"pipeline", "--terms", "words+chars", "--weighting", "tfidf", "--vote", "similarity"},
       knnBoth},
      {{"pipeline", "--count", "0", "--classifier", "linear", "--terms", "chars"},
       linearCharacters},
      {{"pipeline", "--count", "0", "--classifier", "linear", "--terms", "words+chars"},
       linearBoth},
      {{"pipeline", "--count", "0", "--classifier", "linear", "--terms", "words+chars",
        "--knn-weight", "0.5", "--k", "5"},
       blended},
      {{"pipeline", "--count", "0", "--classifier", "logistic", "--c", "4"}, logistic},
      {{"pipeline", "--count", "0", "--classifier", "logistic", "--terms", "chars"},
       logisticCharacters},
      {{"pipeline", "--count", "0", "--classifier", "logistic", "--terms", "words+chars",
        "--class-weight", "balanced"},
       logisticBoth}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model.classifier + " " + termKindsName(c.model.terms));
    ASSERT_EQ(run(c.pipeline).code, 0) << c.model.classifier;
    std::vector<std::string> classify = {"classify", "--classifier", c.model.classifier};
    const std::vector<std::string>& options = c.pipeline;
    for (const char* option : {"--c", "--class-weight", "--knn-weight", "--k"}) {
      const auto given = std::find(options.begin(), options.end(), option);
      if (given != options.end()) classify.insert(classify.end(), {*given, *(given + 1)});
    }
    if (c.model.similarityVote) classify.insert(classify.end(), {"--vote", "similarity"});
    ASSERT_EQ(run(classify).code, 0) << c.model.classifier;
    const std::string classified = testing::readFileBytes(data + "/predictions.dat");
    EXPECT_EQ(labels(ids, answers(c.model, texts)), classified) << c.model.classifier;
    const testing::CommandResult predicted = run({"predict", "--tsv", "--format", "tsv"}, tsvLines);
    ASSERT_EQ(predicted.code, 0) << predicted.err;
    std::string predictedLabels;
    std::istringstream answerLines(predicted.out);
    for (std::string line; std::getline(answerLines, line);) {
      const size_t first = line.find('\t');
      const size_t second = line.find('\t', first + 1);
      predictedLabels += line.substr(0, first) + " " + line.substr(first + 1, second - first - 1) + "\n";
    }
    EXPECT_EQ(predictedLabels, classified) << c.model.classifier;
  }
}

}  // namespace
}  // namespace newsclass
