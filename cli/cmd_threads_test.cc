// The sample corpus through every stage with one thread and with four: every file and the
// console output must be the same, apart from the seconds the timing lines report.
#include <gtest/gtest.h>
#include <xxhash.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;

constexpr const char* kLexicon = "/usr/lib/python3/dist-packages/jieba/dict.txt";

class ThreadsCommandTest : public ::testing::Test {
 protected:
  testing::CommandResult run(const std::string& dataDir, std::vector<std::string> command) {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(dataDir);
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments);
  }

  // The output with every number after a timing label ("...的时间为", "...共有了", "...共耗时")
  // and in the summary lines ("0.10 s ->") replaced, and the data folder's path too.
  static std::string withoutSeconds(const std::string& output, const std::string& data) {
    static const std::regex seconds("(为|了|时)[0-9.e+-]+");
    static const std::regex summarySeconds("[0-9.]+ s ->");
    std::string text = std::regex_replace(output, seconds, "$1#");
    text = std::regex_replace(text, summarySeconds, "# s ->");
    for (size_t at; (at = text.find(data)) != std::string::npos;) text.replace(at, data.size(), "DATA");
    return text;
  }

  // Where two outputs first differ, with some context, instead of both in full.
  static std::string firstDifference(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    const size_t from = at < 80 ? 0 : at - 80;
    return "at byte " + std::to_string(at) + ":\n" + a.substr(from, 200) + "\n---\n" +
           b.substr(from, 200);
  }

  testing::TempDir dir;
};

TEST_F(ThreadsCommandTest, OneAndFourThreadsGiveTheSameFilesAndLines) {
  if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
  std::string output[2];
  const std::vector<std::string> threadCounts = {"1", "4"};
  for (size_t i = 0; i < 2; ++i) {
    const std::string data = dir.file("data" + threadCounts[i]);
    ASSERT_EQ(run(data, {"import", "sample/corpus.tsv"}).code, 0);
    for (std::vector<std::string> command :
         {std::vector<std::string>{"pipeline", "--measure", "chi", "--count", "1000", "--k", "10"},
          {"build-dictionary"}, {"select-features", "--measure", "ig", "--count", "300"},
          {"build-vectors"}, {"classify", "--k", "5"}, {"evaluate", "--format", "json"}}) {
      command.insert(command.begin(), {"--threads", threadCounts[i]});
      testing::CommandResult result = run(data, command);
      ASSERT_EQ(result.code, 0) << command[2] << ": " << result.err;
      output[i] += withoutSeconds(result.out + result.err, data);
    }
  }
  EXPECT_TRUE(output[0] == output[1]) << firstDifference(output[0], output[1]);
  EXPECT_NE(output[0].find("entertainment"), std::string::npos);
  for (const char* file : {"dict.dat", "contingency.dat", "keywords.dat", "trainingVSM.dat",
                           "testingVSM.dat", "predictions.dat"}) {
    const std::string one = readFileBytes(dir.file(std::string("data1/") + file));
    EXPECT_FALSE(one.empty()) << file;
    EXPECT_TRUE(one == readFileBytes(dir.file(std::string("data4/") + file))) << file;
  }
}

// The files the default pipeline writes for the sample corpus, pinned by their XXH3-64 hashes as
// the default algorithm first wrote them (Debian 12's jieba word list): every option added since
// leaves them alone, for any thread count.
TEST_F(ThreadsCommandTest, DefaultPipelineFilesKeepTheirBytes) {
  if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
  const std::vector<std::pair<const char*, uint64_t>> pinned = {
      {"dict.dat", 0x055ee84aeebd9648u},       {"contingency.dat", 0xdab76d989dfcb529u},
      {"keywords.dat", 0xf2282cb382833707u},   {"trainingVSM.dat", 0x497c84ced23c7dc8u},
      {"testingVSM.dat", 0xd6bc95ebb481c523u}, {"predictions.dat", 0xb3ddfde6fefe1f38u}};
  for (const char* threads : {"1", "3"}) {
    const std::string data = dir.file(std::string("pinned") + threads);
    ASSERT_EQ(run(data, {"import", "sample/corpus.tsv"}).code, 0);
    ASSERT_EQ(run(data, {"--threads", threads, "-q", "pipeline", "--measure", "chi", "--count",
                         "1000", "--k", "10"})
                  .code,
              0);
    for (const auto& [file, hash] : pinned) {
      const std::string bytes = readFileBytes(data + "/" + file);
      EXPECT_EQ(XXH3_64bits(bytes.data(), bytes.size()), hash) << file << ", threads " << threads;
    }
  }
}

TEST_F(ThreadsCommandTest, ThreadCountsOutsideTheRangeAreRefused) {
  // Decimal only: CLI11 alone would take "010" as octal 8 and "0x10" as 16.
  for (const char* bad : {"0", "-2", "1025", "0x10", "1e1", ""}) {
    testing::CommandResult result = run(dir.file("data"), {"--threads", bad, "evaluate"});
    EXPECT_EQ(result.code, 1) << bad;
    EXPECT_EQ(result.err, std::string("newsclass: --threads: expected a whole number from 1 to "
                                      "1024, got ") + (*bad ? bad : "\"\"") + "\n");
  }
  EXPECT_EQ(run(dir.file("data"), {"--threads", "many", "evaluate"}).code, 1);
}

}  // namespace
}  // namespace newsclass
