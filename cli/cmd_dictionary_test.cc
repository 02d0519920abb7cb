#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "cli/cmd_cli.h"
#include "corpusdb/odbc_connection.h"
#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::writeFileBytes;

using RunResult = testing::CommandResult;

// A data folder with a corpus database, a tiny lexicon and a stop-word file; commands run on it
// with a GBK console and the training range 1-3.
class DictionaryCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string connection = sqliteConnectionString(dir.file("corpus.db"));
    testing::createCorpusTables(connection);
    testing::insertArticles(connection, "TrainingCorpus",
                            {{1, "t", "c", gbk("中国人民，中国")},
                             {2, "t", "c", ""},
                             {3, "t", "c", gbk("人民 2008年")},
                             {4, "t", "c", gbk("年年")}});
    testing::insertArticles(connection, "TestingCorpus", {{1, "t", "c", "x y x"}});
    writeFileBytes(dir.file("lexicon.txt"), "中国 1000\n人民 800\n年 900\n");
    writeFileBytes(dir.file("stopwords.txt"), "，\n");
  }

  RunResult run(std::vector<std::string> commandArguments) {
    std::vector<std::string> arguments = {"newsclass",
                                          "--data-dir",
                                          dir.path(),
                                          "--lexicon",
                                          dir.file("lexicon.txt"),
                                          "--user-dict",
                                          dir.file("dict.txt"),
                                          "--stopwords",
                                          dir.file("stopwords.txt"),
                                          "--console-encoding",
                                          "gbk",
                                          "--train-range",
                                          "1-3"};
    arguments.insert(arguments.end(), commandArguments.begin(), commandArguments.end());
    return testing::runCommand(arguments);
  }

  static std::string maskSeconds(const std::string& output) {
    return testing::maskTimingSeconds(output);
  }

  testing::TempDir dir;
  const std::string startLines = gbk("\n导入用户词典后：\n导入0个用户词。\n");
};

TEST_F(DictionaryCommandTest, BuildThenPrint) {
  RunResult build = run({"build-dictionary"});
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_EQ(build.err, "");
  const std::string token = gbk("对篇章分词的时间为#\n");
  EXPECT_EQ(maskSeconds(build.out), startLines + token + gbk("处理第1篇文章共有了#\n") +
                                        gbk("处理第篇文章共有了#\n") + token +
                                        gbk("处理第3篇文章共有了#\n") +
                                        "dictionary: 3 words from TrainingCorpus "
                                        "articles 1-3, saved to " +
                                        dir.file("dict.dat") + "\n");
  EXPECT_EQ(readFileBytes(dir.file("dict.dat")), "3\n" + gbk("年") + "\n1\n3 1 ; \n" + gbk("人民") +
                                                     "\n2\n1 1 ; 3 1 ; \n" + gbk("中国") +
                                                     "\n1\n1 2 ; \n");

  RunResult print = run({"print-dictionary"});
  ASSERT_EQ(print.code, 0) << print.err;
  EXPECT_EQ(print.out, "3\n" + gbk("年") + "\n1\n3,1;\n" + gbk("人民") + "\n2\n1,1;3,1;\n" +
                           gbk("中国") + "\n1\n1,2;\n");
}

TEST_F(DictionaryCommandTest, QuietLeavesOutOnlyThePerArticleLines) {
  RunResult build = run({"--quiet", "build-dictionary"});
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_EQ(build.out, startLines +
                           "dictionary: 3 words from TrainingCorpus articles 1-3, saved to " +
                           dir.file("dict.dat") + "\n");
}

TEST_F(DictionaryCommandTest, SpaceTokenizerOnAnotherTable) {
  RunResult build =
      run({"-q", "build-dictionary", "--tokenizer", "space", "--table", "TestingCorpus"});
  ASSERT_EQ(build.code, 0) << build.err;
  EXPECT_EQ(readFileBytes(dir.file("dict.dat")), "2\nx\n1\n1 2 ; \ny\n1\n1 1 ; \n");
}

TEST_F(DictionaryCommandTest, BadOptionsAreUsageErrors) {
  EXPECT_EQ(run({"build-dictionary", "--tokenizer", "words"}).code, 1);
  RunResult table = run({"build-dictionary", "--table", "Training Corpus"});
  EXPECT_EQ(table.code, 1);
  EXPECT_NE(table.err.find("Training Corpus"), std::string::npos) << table.err;
}

TEST_F(DictionaryCommandTest, PrintWithoutDictionaryFileIsAnErrorNamingIt) {
  RunResult print = run({"print-dictionary"});
  EXPECT_EQ(print.code, 2);
  EXPECT_EQ(print.out, "");
  EXPECT_EQ(print.err.rfind("newsclass: " + dir.file("dict.dat") + ": ", 0), 0u) << print.err;
}

TEST_F(DictionaryCommandTest, PrintOfACutOffFileIsADataErrorAndPrintsNothing) {
  writeFileBytes(dir.file("dict.dat"), "2\na\n1\n3 1 ; \nb\n2\n4 1 ;");
  RunResult print = run({"print-dictionary"});
  EXPECT_EQ(print.code, 2);
  EXPECT_EQ(print.out, "");
  EXPECT_EQ(print.err, "newsclass: " + dir.file("dict.dat") +
                           ": record 2 (\"b\"): posting 2 of 2: the article id is missing or "
                           "not a number\n");
}

TEST_F(DictionaryCommandTest, MissingLexiconStopsTheBuildAndKeepsDictDat) {
  const std::string before = "1\nold\n1\n1 1 ; \n";
  writeFileBytes(dir.file("dict.dat"), before);
  std::filesystem::remove(dir.file("lexicon.txt"));
  for (const char* tokenizer : {"segment", "space"}) {
    RunResult build = run({"build-dictionary", "--tokenizer", tokenizer});
    EXPECT_EQ(build.code, 2);
    EXPECT_EQ(build.out, "ICTCLAS INIT FAILED!\n");
    EXPECT_EQ(build.err, "newsclass: " + dir.file("lexicon.txt") +
                             ": cannot read the segmenter's lexicon (--lexicon)\n");
    EXPECT_EQ(readFileBytes(dir.file("dict.dat")), before);
  }
}

TEST_F(DictionaryCommandTest, PrintOfAnImpossibleCountIsADataError) {
  writeFileBytes(dir.file("dict.dat"), "2\na\n1\n3 1 ; \nb\n1\n4 0 ; \n");
  RunResult print = run({"print-dictionary"});
  EXPECT_EQ(print.code, 2);
  EXPECT_EQ(print.out, "");
  EXPECT_EQ(print.err, "newsclass: " + dir.file("dict.dat") +
                           ": record 2 (\"b\"): posting 1 of 1 (article 4): count 0 is below 1\n");
}

TEST_F(DictionaryCommandTest, CharacterTermsGoThroughDictionaryAndKeywordsMarked) {
  // Article 1, "中国人民，中国": the words 中国 人民 中国 ("，" is a stop word), then every
  // character with the pair it ends; "，" is punctuation: a term, but in no pair. Article 3,
  // "人民 2008年": the words 人民 年, the characters 人 民 人民 and 年 (the space ends the run, the
  // digits go). A character term starts with "|", which sorts before every GBK character.
  RunResult build = run({"-q", "build-dictionary", "--terms", "words+chars"});
  ASSERT_EQ(build.code, 0) << build.err;
  auto record = [](const char* utf8Term, const std::string& postings) {
    return gbk(utf8Term) + "\n" + postings;
  };
  EXPECT_EQ(readFileBytes(dir.file("dict.dat")),
            "12\n" + record("|，", "1\n1 1 ; \n") + record("|国", "1\n1 2 ; \n") +
                record("|国人", "1\n1 1 ; \n") + record("|民", "2\n1 1 ; 3 1 ; \n") +
                record("|年", "1\n3 1 ; \n") + record("|人", "2\n1 1 ; 3 1 ; \n") +
                record("|人民", "2\n1 1 ; 3 1 ; \n") + record("|中", "1\n1 2 ; \n") +
                record("|中国", "1\n1 2 ; \n") + record("年", "1\n3 1 ; \n") +
                record("人民", "2\n1 1 ; 3 1 ; \n") + record("中国", "1\n1 2 ; \n"));
  EXPECT_NE(readFileBytes(dir.file("model.json")).find("\"terms\": \"words+chars\""),
            std::string::npos);

  // By document frequency: most frequent first, ties in byte order; the word 人民 and the
  // character pair |人民 are two keywords.
  ASSERT_EQ(run({"-q", "--categories", "c", "build-contingency"}).code, 0);
  RunResult select = run({"-q", "--categories", "c", "select-features", "--measure", "df",
                          "--count", "0"});
  ASSERT_EQ(select.code, 0) << select.err;
  EXPECT_EQ(readFileBytes(dir.file("keywords.dat")),
            gbk("|民\n|人\n|人民\n人民\n|，\n|国\n|国人\n|年\n|中\n|中国\n年\n中国\n"));

  // Characters alone: no segmenting, no word; words alone (the default) record no terms.
  ASSERT_EQ(run({"-q", "build-dictionary", "--terms", "chars"}).code, 0);
  EXPECT_EQ(readFileBytes(dir.file("dict.dat")).substr(0, 3), "9\n|");
  EXPECT_NE(readFileBytes(dir.file("model.json")).find("\"terms\": \"chars\""), std::string::npos);
  ASSERT_EQ(run({"-q", "build-dictionary"}).code, 0);
  EXPECT_EQ(readFileBytes(dir.file("model.json")).find("\"terms\""), std::string::npos);
  EXPECT_EQ(run({"-q", "build-dictionary", "--terms", "characters"}).code, 1);
}

}  // namespace
}  // namespace newsclass
