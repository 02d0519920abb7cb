// --vector-format binary through the commands on the sample corpus: the same predictions as the
// text form from pipeline, classify and predict, model.json recording the form, and a damaged
// binary file refused by name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

constexpr const char* kLexicon = "/usr/lib/python3/dist-packages/jieba/dict.txt";

class VectorFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
    std::filesystem::create_directories(text);
    const testing::CommandResult imported = run(text, {"import", "sample/corpus.tsv"});
    ASSERT_EQ(imported.code, 0) << imported.err;
  }

  testing::CommandResult run(const std::string& data, std::vector<std::string> command,
                             const std::string& input = "") {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(data);
    arguments.insert(arguments.end(), {"--db", "Driver=SQLite3;Database=" + text + "/corpus.db", "-q"});
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments, input);
  }

  testing::TempDir dir;
  std::string text = dir.file("text");
  std::string binary = dir.file("binary");
};

TEST_F(VectorFormatTest, BinaryVectorsGiveThePredictionsTheTextGives) {
  // The sample's testing texts, one a line, for predict.
  const std::string lines = "\xd0\xc2\xce\xc5\n\xbe\xfc\xca\xc2\n";
  struct Case {
    std::vector<std::string> features;    // select-features and build-vectors
    std::vector<std::string> classifier;  // classify
  };
  for (const Case& c : {Case{{"--count", "300"}, {}},
                        Case{{"--count", "0", "--weighting", "tfidf"},
                             {"--vote", "similarity", "--k", "5"}}}) {
    SCOPED_TRACE(c.features.back());
    std::vector<std::string> pipeline = {"pipeline"};
    pipeline.insert(pipeline.end(), c.features.begin(), c.features.end());
    pipeline.insert(pipeline.end(), c.classifier.begin(), c.classifier.end());
    ASSERT_EQ(run(text, pipeline).code, 0);
    pipeline.insert(pipeline.end(), {"--vector-format", "binary"});
    const testing::CommandResult built = run(binary, pipeline);
    ASSERT_EQ(built.code, 0) << built.err;
    EXPECT_EQ(testing::readFileBytes(binary + "/predictions.dat"),
              testing::readFileBytes(text + "/predictions.dat"));
    const std::string facts = testing::readFileBytes(binary + "/model.json");
    EXPECT_NE(facts.find("\"vector_format\": \"binary\""), std::string::npos) << facts;
    EXPECT_EQ(testing::readFileBytes(text + "/model.json").find("vector_format"), std::string::npos);
    // The binary files are smaller than the text ones and not text.
    for (const char* file : {"/trainingVSM.dat", "/testingVSM.dat"}) {
      EXPECT_LT(std::filesystem::file_size(binary + file), std::filesystem::file_size(text + file));
      EXPECT_EQ(testing::readFileBytes(binary + file).rfind("NCCACHE", 0), 0u);
    }
    // classify and predict read them as the text form.
    std::filesystem::remove(binary + "/predictions.dat");
    std::vector<std::string> classify = {"classify"};
    classify.insert(classify.end(), c.classifier.begin(), c.classifier.end());
    ASSERT_EQ(run(binary, classify).code, 0);
    EXPECT_EQ(testing::readFileBytes(binary + "/predictions.dat"),
              testing::readFileBytes(text + "/predictions.dat"));
    const testing::CommandResult fromText = run(text, {"predict", "--format", "tsv", "--top", "3"}, lines);
    const testing::CommandResult fromBinary = run(binary, {"predict", "--format", "tsv", "--top", "3"}, lines);
    ASSERT_EQ(fromText.code, 0) << fromText.err;
    EXPECT_EQ(fromBinary.out, fromText.out);
    EXPECT_NE(run(binary, {"evaluate"}).out.find(", vector_format binary, "), std::string::npos);
  }
  // Built again without the option: text files, and no key.
  ASSERT_EQ(run(binary, {"build-vectors", "--weighting", "tfidf"}).code, 0);
  EXPECT_EQ(testing::readFileBytes(binary + "/model.json").find("vector_format"), std::string::npos);
  EXPECT_EQ(testing::readFileBytes(binary + "/trainingVSM.dat"),
            testing::readFileBytes(text + "/trainingVSM.dat"));
}

TEST_F(VectorFormatTest, ADamagedBinaryFileIsRefusedNamingIt) {
  ASSERT_EQ(run(binary, {"pipeline", "--count", "200", "--vector-format", "binary"}).code, 0);
  std::string bytes = testing::readFileBytes(binary + "/testingVSM.dat");
  bytes[bytes.size() / 2] ^= 0x01;
  testing::writeFileBytes(binary + "/testingVSM.dat", bytes);
  const testing::CommandResult refused = run(binary, {"classify", "--classifier", "knn"});
  EXPECT_NE(refused.code, 0);
  // The digest in model.json no longer matches: the file is stale before it is even read.
  EXPECT_NE(refused.err.find(binary + "/testingVSM.dat"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace newsclass
