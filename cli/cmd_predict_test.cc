// predict against the sample corpus: the labels classify gave the testing articles, both input
// encodings, --tsv ids, empty lines, output formats and a data folder missing a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "cli/provenance.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

constexpr const char* kLexicon = "/usr/lib/python3/dist-packages/jieba/dict.txt";

class PredictCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
    ASSERT_EQ(run({"import", "sample/corpus.tsv"}).code, 0);
    ASSERT_EQ(run({"-q", "pipeline", "--measure", "chi", "--count", "1000", "--k", "10"}).code, 0);
  }

  testing::CommandResult run(std::vector<std::string> command, const std::string& input = "") {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(data);
    arguments.insert(arguments.end(), {"--threads", "3"});
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments, input);
  }

  // The testing articles of the sample corpus as "id<TAB>text" lines (UTF-8), ids in file order.
  static std::string testingLines() {
    std::ifstream in("sample/corpus.tsv");
    std::string line, lines;
    int id = 0;
    while (std::getline(in, line)) {
      std::vector<std::string> fields;
      std::stringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
      if (fields.size() == 4 && fields[0] == "test") {
        lines += std::to_string(++id) + "\t" + fields[3] + "\n";
      }
    }
    return lines;
  }

  testing::TempDir dir;
  std::string data = dir.file("data");
};

TEST_F(PredictCommandTest, TestingTextsGetTheLabelsClassifyGave) {
  const std::string lines = testingLines();
  const testing::CommandResult predicted = run({"predict", "--tsv", "--format", "tsv"}, lines);
  ASSERT_EQ(predicted.code, 0) << predicted.err;
  // predictions.dat: "<id> <category>" per testing article.
  std::ifstream saved(data + "/predictions.dat");
  std::istringstream answers(predicted.out);
  std::string id, category, answerLine;
  int compared = 0;
  while (saved >> id >> category) {
    ASSERT_TRUE(std::getline(answers, answerLine)) << "no answer for " << id;
    EXPECT_EQ(answerLine.substr(0, answerLine.rfind('\t')), id + "\t" + category);
    ++compared;
  }
  EXPECT_EQ(compared, 30);
  // The loading and start-up lines went to standard error, not among the answers.
  EXPECT_NE(predicted.err.find("导入用户词典后"), std::string::npos);
}

TEST_F(PredictCommandTest, GbkAndUtf8InputGiveTheSameAnswersInEveryFormat) {
  const std::string utf8 = "国家队备战亚洲杯，主教练公布集训名单\n\n  \n出版社推出新版古典文学丛书\n";
  const std::string gbkText = gbk(utf8);
  const std::string file = dir.file("gbk.txt");
  testing::writeFileBytes(file, gbkText);
  for (const char* format : {"text", "tsv", "jsonl"}) {
    const testing::CommandResult fromUtf8 = run({"predict", "--format", format}, utf8);
    const testing::CommandResult fromGbk = run({"predict", "--format", format}, gbkText);
    const testing::CommandResult fromFile = run({"predict", "--format", format, file});
    ASSERT_EQ(fromUtf8.code, 0) << fromUtf8.err;
    EXPECT_EQ(fromGbk.out, fromUtf8.out) << format;
    EXPECT_EQ(fromFile.out, fromUtf8.out) << format;
  }
  const std::string text = run({"predict"}, utf8).out;
  std::istringstream labels(text);
  std::vector<std::string> answers;
  for (std::string line; std::getline(labels, line);) answers.push_back(line);
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_FALSE(answers[0].empty());
  EXPECT_EQ(answers[1], "");  // empty and blank lines get an empty label
  EXPECT_EQ(answers[2], "");
  EXPECT_FALSE(answers[3].empty());
  const std::string tsv = run({"predict", "--format", "tsv"}, utf8).out;
  EXPECT_EQ(tsv.substr(0, 2 + answers[0].size()), "1\t" + answers[0]);
  EXPECT_NE(tsv.find("\n2\t\t0\n3\t\t0\n4\t" + answers[3] + "\t"), std::string::npos) << tsv;
}

TEST_F(PredictCommandTest, TsvIdsAreEchoedAndJsonlListsTopCategoriesAndNeighbours) {
  const testing::CommandResult result =
      run({"predict", "--tsv", "--format", "jsonl", "--neighbours", "--k", "3"},
          "a\"7\t出版社推出新版古典文学丛书\nx9\t\n");
  ASSERT_EQ(result.code, 0) << result.err;
  std::istringstream lines(result.out);
  std::string first, second;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first.rfind("{\"id\":\"a\\\"7\",\"category\":\"", 0), 0u) << first;
  EXPECT_NE(first.find(",\"top\":[{\"category\":"), std::string::npos) << first;
  // Three neighbours, each with its id and similarity.
  size_t neighbours = 0;
  for (size_t at = first.find("{\"id\":", 1); at != std::string::npos; at = first.find("{\"id\":", at + 1)) {
    ++neighbours;
  }
  EXPECT_EQ(neighbours, 3u);
  EXPECT_EQ(second, "{\"id\":\"x9\",\"category\":\"\",\"score\":0}");
}

TEST_F(PredictCommandTest, TheTrainingVectorCacheGivesTheSameAnswers) {
  const std::string lines = testingLines();
  const std::string uncached = run({"predict", "--tsv", "--format", "jsonl", "--neighbours"}, lines).out;
  // Caches on, in a folder of the test's own; restored afterwards.
  const std::string cacheHome = dir.file("cache");
  const char* oldSetting = std::getenv("NEWSCLASS_LEXICON_CACHE");
  const std::string old = oldSetting ? oldSetting : "";
  const char* oldVectorSetting = std::getenv("NEWSCLASS_VECTOR_CACHE");
  const std::string oldVector = oldVectorSetting ? oldVectorSetting : "";
  unsetenv("NEWSCLASS_LEXICON_CACHE");
  unsetenv("NEWSCLASS_VECTOR_CACHE");
  setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
  const testing::CommandResult first = run({"predict", "--tsv", "--format", "jsonl", "--neighbours"}, lines);
  const testing::CommandResult second = run({"predict", "--tsv", "--format", "jsonl", "--neighbours"}, lines);
  unsetenv("XDG_CACHE_HOME");
  if (oldSetting) setenv("NEWSCLASS_LEXICON_CACHE", old.c_str(), 1);
  if (oldVectorSetting) setenv("NEWSCLASS_VECTOR_CACHE", oldVector.c_str(), 1);
  EXPECT_EQ(first.out, uncached);
  EXPECT_EQ(second.out, uncached);
  size_t caches = 0;
  for (const auto& entry : std::filesystem::directory_iterator(cacheHome + "/newsclass")) {
    caches += entry.path().extension() == ".vectors";
  }
  EXPECT_EQ(caches, 1u);
}

// The facts of the folder's model.json with the digests (file sizes, times and hashes) replaced
// by what they can be checked against here: each file's size and the sources' paths.
Provenance factsWithoutTimes(const std::string& data) {
  Provenance facts = parseProvenance(testing::readFileBytes(data + "/model.json"), "model.json");
  for (auto& [key, value] : facts) {
    if (key.rfind("file ", 0) == 0) {
      const std::string path = data + "/" + key.substr(5);
      EXPECT_EQ(value.substr(0, value.find(' ')), std::to_string(std::filesystem::file_size(path)))
          << key;
      EXPECT_EQ(value.size() - value.rfind(' ') - 1, 16u) << key << ": " << value;
      value = "digest";
    } else if (key == "stopwords" || key == "user_dict" || key == "lexicon") {
      value = value.substr(value.find('/'));
    }
  }
  return facts;
}

TEST_F(PredictCommandTest, TheFolderRecordsHowItWasBuiltAndPredictFollowsIt) {
  const std::string source = std::filesystem::current_path().string();
  EXPECT_EQ(factsWithoutTimes(data),
            (Provenance{{"categories", "history,culture,reading,military,society&law,entertainment"},
                        {"classifier", "knn"}, {"count", "1000"}, {"k", "10"},
                        {"measure", "chi"}, {"table", "TrainingCorpus"},
                        {"test_range", "1-30"}, {"tokenizer", "segment"},
                        {"train_range", "1-120"}, {"vote", "count"}, {"weighting", "spec"},
                        {"stopwords", source + "/sample/stopwords.txt"},
                        {"user_dict", source + "/sample/dict.txt"}, {"lexicon", kLexicon},
                        {"file dict.dat", "digest"}, {"file contingency.dat", "digest"},
                        {"file keywords.dat", "digest"}, {"file trainingVSM.dat", "digest"},
                        {"file testingVSM.dat", "digest"}, {"file predictions.dat", "digest"}}));
  // Vectors built with tfidf and classified with the similarity vote: predict weighs and votes
  // the same way without being told, and agrees with classify.
  ASSERT_EQ(run({"build-vectors", "--weighting", "tfidf"}).code, 0);
  ASSERT_EQ(run({"classify", "--vote", "similarity"}).code, 0);
  const std::string facts = testing::readFileBytes(data + "/model.json");
  EXPECT_NE(facts.find("\"weighting\": \"tfidf\""), std::string::npos) << facts;
  EXPECT_NE(facts.find("\"vote\": \"similarity\""), std::string::npos) << facts;
  const testing::CommandResult predicted = run({"predict", "--tsv", "--format", "tsv"}, testingLines());
  ASSERT_EQ(predicted.code, 0) << predicted.err;
  std::ifstream saved(data + "/predictions.dat");
  std::istringstream answers(predicted.out);
  std::string id, category, answer;
  while (saved >> id >> category) {
    ASSERT_TRUE(std::getline(answers, answer));
    EXPECT_EQ(answer.substr(0, answer.rfind('\t')), id + "\t" + category);
  }
  // Asking to weigh new text otherwise than the vectors were weighed is refused.
  const testing::CommandResult refused = run({"predict", "--weighting", "spec"}, "x\n");
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.err, "newsclass: --weighting: the model in this data folder was built with "
                         "--weighting tfidf (" + data + "/model.json), not spec\n");
  EXPECT_EQ(refused.out, "");
  // Rebuilding the dictionary with the same bytes from the same facts keeps every later fact;
  // another dictionary makes them stale.
  const Provenance before = factsWithoutTimes(data);
  ASSERT_EQ(run({"build-dictionary"}).code, 0);
  EXPECT_EQ(factsWithoutTimes(data), before);
  ASSERT_EQ(run({"build-dictionary", "--tokenizer", "space"}).code, 0);
  EXPECT_EQ(factsWithoutTimes(data),
            (Provenance{{"table", "TrainingCorpus"}, {"tokenizer", "space"},
                        {"train_range", "1-120"},
                        {"stopwords", source + "/sample/stopwords.txt"},
                        {"user_dict", source + "/sample/dict.txt"}, {"lexicon", kLexicon},
                        {"file dict.dat", "digest"}}));
  const testing::CommandResult stale = run({"predict"}, "x\n");
  EXPECT_EQ(stale.code, 2);
  // The earliest file built from the old dictionary is named.
  EXPECT_EQ(stale.err, "newsclass: " + data + "/keywords.dat: stale: not built from the "
                       "folder's current files (model.json); run select-features\n");
}

TEST_F(PredictCommandTest, TheLinearModelAnswersAsClassifyDid) {
  ASSERT_EQ(run({"-q", "pipeline", "--count", "0", "--classifier", "linear"}).code, 0);
  // model.json says linear: predict loads linear.model without being told.
  const testing::CommandResult predicted = run({"predict", "--tsv", "--format", "tsv"}, testingLines());
  ASSERT_EQ(predicted.code, 0) << predicted.err;
  std::ifstream saved(data + "/predictions.dat");
  std::istringstream answers(predicted.out);
  std::string id, category, answer;
  int compared = 0;
  while (saved >> id >> category) {
    ASSERT_TRUE(std::getline(answers, answer));
    EXPECT_EQ(answer.substr(0, answer.rfind('\t')), id + "\t" + category);
    ++compared;
  }
  EXPECT_EQ(compared, 30);
  // jsonl lists every category with its decision value, the answer's first.
  const std::string json = run({"predict", "--format", "jsonl"}, "出版社推出新版古典文学丛书\n").out;
  EXPECT_EQ(std::count(json.begin(), json.end(), '{'), 1 + 6) << json;
  // Neighbours and K belong to KNN; without linear.model the answer names the missing file.
  EXPECT_EQ(run({"predict", "--k", "3"}, "x\n").err,
            "newsclass: --k: the linear classifier has no neighbours\n");
  std::filesystem::remove(data + "/linear.model");
  const testing::CommandResult missing = run({"predict"}, "x\n");
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.err, "newsclass: " + data +
                             "/linear.model: no such file (run the stage that writes it first)\n");
}

TEST_F(PredictCommandTest, TopCategoriesCarryProbabilitiesAndLinearAnswersExplainThemselves) {
  const std::string headline = "出版社推出新版古典文学丛书\n";
  // KNN: the categories that got votes, with their shares; no terms to explain.
  const std::string plain = run({"-q", "predict"}, headline).out;
  const std::string knnTop = run({"-q", "predict", "--top", "2"}, headline).out;
  EXPECT_EQ(knnTop.rfind(plain.substr(0, plain.size() - 1) + " ", 0), 0u) << knnTop;
  EXPECT_EQ(run({"predict", "--explain", "--format", "jsonl"}, headline).err,
            "newsclass: --explain: the knn classifier answers by its neighbours (list them with "
            "--neighbours)\n");
  EXPECT_EQ(run({"predict", "--top", "0"}, headline).code, 1);

  ASSERT_EQ(run({"-q", "pipeline", "--count", "0", "--classifier", "logistic", "--terms",
                 "words+chars"})
                .code,
            0);
  // tsv with --top 6: the key, then every category and its probability, most probable first;
  // the probabilities add up to 1 and the first is the plain answer's score.
  const testing::CommandResult top = run({"-q", "predict", "--format", "tsv", "--top", "6"}, headline);
  ASSERT_EQ(top.code, 0) << top.err;
  std::vector<std::string> fields;
  std::stringstream split(top.out.substr(0, top.out.size() - 1));
  for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
  ASSERT_EQ(fields.size(), 13u) << top.out;
  EXPECT_EQ(fields[0], "1");
  double sum = 0.0, previous = 2.0;
  for (size_t i = 2; i < fields.size(); i += 2) {
    const double probability = std::stod(fields[i]);
    EXPECT_LE(probability, previous);
    previous = probability;
    sum += probability;
  }
  EXPECT_NEAR(sum, 1.0, 1e-12);
  const std::string tsv = run({"-q", "predict", "--format", "tsv"}, headline).out;
  EXPECT_EQ(tsv, fields[0] + "\t" + fields[1] + "\t" + fields[2] + "\n");
  EXPECT_EQ(run({"-q", "predict", "--format", "tsv", "--top", "2"}, headline).out,
            fields[0] + "\t" + fields[1] + "\t" + fields[2] + "\t" + fields[3] + "\t" + fields[4] + "\n");

  // jsonl --explain: "top" as ever, then the terms that added most (words and characters).
  const testing::CommandResult explained =
      run({"-q", "predict", "--format", "jsonl", "--explain", "--top", "1"}, headline);
  ASSERT_EQ(explained.code, 0) << explained.err;
  const std::string& json = explained.out;
  EXPECT_EQ(json.rfind("{\"line\":1,\"category\":\"" + fields[1] + "\",\"score\":" + fields[2] +
                           ",\"top\":[{\"category\":\"" + fields[1] + "\",\"score\":" + fields[2] +
                           "}],\"terms\":[{\"term\":\"",
                       0),
            0u)
      << json;
  const size_t terms = std::count(json.begin(), json.end(), '{') - 2;  // less the answer and top
  EXPECT_EQ(terms, 10u) << json;
  EXPECT_NE(json.find("{\"term\":\"|"), std::string::npos) << json;
  EXPECT_EQ(run({"predict", "--explain"}, headline).err,
            "newsclass: --explain: the terms are shown only with --format jsonl\n");
}

// "<id> <category>" lines of predict's tsv answers, one per labelled line.
std::string labelledAnswers(const std::string& tsv) {
  std::istringstream in(tsv);
  std::string answers;
  for (std::string line; std::getline(in, line);) {
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    answers += line.substr(0, first) + " " + line.substr(first + 1, second - first - 1) + "\n";
  }
  return answers;
}

TEST_F(PredictCommandTest, PipelineClassifyAndPredictGiveOneAnswerPerArticle) {
  const std::string lines = testingLines();
  for (const char* weighting : {"spec", "tfidf"}) {
    for (const char* vote : {"count", "similarity"}) {
      ASSERT_EQ(run({"-q", "pipeline", "--weighting", weighting, "--vote", vote}).code, 0);
      const std::string fromPipeline = testing::readFileBytes(data + "/predictions.dat");
      ASSERT_EQ(run({"-q", "classify", "--vote", vote}).code, 0);
      EXPECT_EQ(testing::readFileBytes(data + "/predictions.dat"), fromPipeline)
          << weighting << ", " << vote;
      const testing::CommandResult predicted = run({"predict", "--tsv", "--format", "tsv"}, lines);
      ASSERT_EQ(predicted.code, 0) << predicted.err;
      EXPECT_EQ(labelledAnswers(predicted.out), fromPipeline) << weighting << ", " << vote;
    }
  }
}

// Whether jsonl answers give line 3 a category that is not empty.
bool labelsLineThree(const std::string& jsonl) {
  const std::string prefix = "{\"line\":3,\"category\":\"";
  const size_t at = jsonl.find(prefix);
  return at != std::string::npos && jsonl[at + prefix.size()] != '"';
}

TEST_F(PredictCommandTest, ALineWithoutAKeywordGetsAnEmptyLabelAndScoreZero) {
  // Stop words and punctuation, ASCII garbage, then a real headline.
  const std::string input = "的了是\nqzxv wprt ！！\n出版社推出新版古典文学丛书\n";
  for (const char* weighting : {"spec", "tfidf"}) {
    ASSERT_EQ(run({"-q", "build-vectors", "--weighting", weighting}).code, 0);
    const testing::CommandResult text = run({"predict"}, input);
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_EQ(text.out.substr(0, 2), "\n\n") << weighting;
    EXPECT_GT(text.out.size(), 3u) << weighting;
    const std::string tsv = run({"predict", "--format", "tsv"}, input).out;
    EXPECT_EQ(tsv.substr(0, 10), "1\t\t0\n2\t\t0\n") << weighting;
    const std::string jsonl = run({"predict", "--format", "jsonl", "--neighbours"}, input).out;
    EXPECT_EQ(jsonl.substr(0, jsonl.find("{\"line\":3")),
              "{\"line\":1,\"category\":\"\",\"score\":0}\n"
              "{\"line\":2,\"category\":\"\",\"score\":0}\n")
        << weighting;
    EXPECT_TRUE(labelsLineThree(jsonl)) << jsonl;
  }
  ASSERT_EQ(run({"-q", "pipeline", "--count", "0", "--classifier", "linear"}).code, 0);
  const std::string linear = run({"predict", "--format", "jsonl"}, input).out;
  EXPECT_EQ(linear.substr(0, linear.find("{\"line\":3")),
            "{\"line\":1,\"category\":\"\",\"score\":0}\n"
            "{\"line\":2,\"category\":\"\",\"score\":0}\n");
  EXPECT_TRUE(labelsLineThree(linear)) << linear;
}

TEST_F(PredictCommandTest, AFileMixingUtf8AndGbkLinesReadsEachLineInItsOwnEncoding) {
  const std::string one = "国家队备战亚洲杯，主教练公布集训名单\n";
  const std::string two = "出版社推出新版古典文学丛书\n";
  const std::string file = dir.file("mixed.txt");
  testing::writeFileBytes(file, one + gbk(two) + "plain ascii\n" + gbk(one));
  const testing::CommandResult mixed = run({"predict", "--format", "tsv", file});
  ASSERT_EQ(mixed.code, 0) << mixed.err;
  const testing::CommandResult utf8 = run({"predict", "--format", "tsv"}, one + two + "plain ascii\n" + one);
  EXPECT_EQ(mixed.out, utf8.out);
  EXPECT_EQ(std::count(mixed.out.begin(), mixed.out.end(), '\n'), 4);
}

TEST_F(PredictCommandTest, InputFilesAreNamedAsInputs) {
  const std::string missing = dir.file("missing.txt");
  const testing::CommandResult result = run({"predict", missing});
  EXPECT_EQ(result.code, 2);
  EXPECT_EQ(result.err, "newsclass: " + missing + ": no such input file\n");
  EXPECT_EQ(result.out, "");
  // Several FILEs: every tsv answer starts with its file; one FILE answers as standard input.
  const std::string file = dir.file("a.txt");
  testing::writeFileBytes(file, "出版社推出新版古典文学丛书\n\n");
  const std::string one = run({"predict", "--format", "tsv", file}).out;
  EXPECT_EQ(one, run({"predict", "--format", "tsv"}, "出版社推出新版古典文学丛书\n\n").out);
  const std::string two = run({"predict", "--format", "tsv", file, file}).out;
  std::string expected;
  for (int copy = 0; copy < 2; ++copy) {
    std::istringstream lines(one);
    for (std::string line; std::getline(lines, line);) expected += file + "\t" + line + "\n";
  }
  EXPECT_EQ(two, expected);
  // --tsv ids repeated across FILEs are refused before the model is loaded.
  const std::string ids = dir.file("ids.tsv");
  testing::writeFileBytes(ids, "1\ta\n2\tb\n");
  const testing::CommandResult repeated = run({"predict", "--tsv", ids, ids});
  EXPECT_EQ(repeated.code, 2);
  // The same FILE given twice: the second reading repeats the first.
  EXPECT_EQ(repeated.err, "newsclass: " + ids + ": line 1: id 1 repeats " + ids + " line 1\n");
  EXPECT_EQ(repeated.out, "");
}

TEST_F(PredictCommandTest, BadInputAndAMissingModelFileAreClearErrors) {
  testing::CommandResult noTab = run({"predict", "--tsv"}, "7\tfine\nno tab here\n");
  EXPECT_EQ(noTab.code, 2);
  EXPECT_EQ(noTab.err.substr(noTab.err.find("newsclass:")),
            "newsclass: standard input: line 2: expected an id, a tab and the text\n");
  EXPECT_EQ(run({"predict", "--neighbours"}, "x\n").code, 1);
  std::filesystem::remove(data + "/trainingVSM.dat");
  testing::CommandResult missing = run({"predict"}, "x\n");
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.err, "newsclass: " + data +
                             "/trainingVSM.dat: no such file (run the stage that writes it first)\n");
  EXPECT_EQ(missing.out, "");
}

}  // namespace
}  // namespace newsclass
