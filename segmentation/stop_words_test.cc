#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;
using testing::writeFileBytes;

class StopWordsTest : public ::testing::Test {
 protected:
  StopWordSet load(const std::string& fileBytes) {
    writeFileBytes(env.environment.stopWordsPath, fileBytes);
    return processor.loadStopWords();
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
};

TEST_F(StopWordsTest, TokensSeparatedByAnyWhiteSpace) {
  EXPECT_EQ(load("a b\tc\r\nd\n\n  e\v\ff"), (StopWordSet{"a", "b", "c", "d", "e", "f"}));
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(StopWordsTest, LastWordWithoutFinalLineEndIsRead) {
  EXPECT_EQ(load("the\nof\nand"), (StopWordSet{"the", "of", "and"}));
}

TEST_F(StopWordsTest, RepeatedWordIsStoredOnce) {
  StopWordSet words = load("of\nof\nthe\nof\n");
  EXPECT_EQ(words, (StopWordSet{"of", "the"}));
}

TEST_F(StopWordsTest, EmptyFileGivesEmptySetWithoutWarning) {
  EXPECT_TRUE(load("").empty());
  EXPECT_TRUE(load(" \n\r\n\t").empty());
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(StopWordsTest, MissingFileWarnsOnceAndGivesEmptySet) {
  EXPECT_TRUE(processor.loadStopWords().empty());
  EXPECT_EQ(env.warnings.str(), env.environment.stopWordsPath +
                                    ": cannot read the stop-word file; no stop words are used\n");
}

TEST_F(StopWordsTest, FolderInPlaceOfTheFileWarns) {
  env.environment.stopWordsPath = env.dir.path();
  EXPECT_TRUE(processor.loadStopWords().empty());
  EXPECT_EQ(env.warnings.str(),
            env.dir.path() + ": cannot read the stop-word file; no stop words are used\n");
}

TEST_F(StopWordsTest, Utf8AndGbkFilesGiveTheSameGbkWords) {
  const StopWordSet expected{"\xB5\xC4", "\xA3\xAC", "\xC1\xCB", "\xA1\xA2", "the"};  // 的 ， 了 、
  EXPECT_EQ(load("的\n，\n了\n、\nthe\n"), expected);
  EXPECT_EQ(load("\xB5\xC4\n\xA3\xAC\n\xC1\xCB\n\xA1\xA2\nthe\n"), expected);
  // A UTF-8 byte order mark is not part of the first word.
  EXPECT_EQ(load("\xEF\xBB\xBF的\n，\n了\n、\nthe"), expected);
}

TEST_F(StopWordsTest, IdeographicSpaceStaysInsideAWord) {
  // Only ASCII white space separates tokens, as a stream reads them.
  EXPECT_EQ(load("a　b\n"), (StopWordSet{gbk("a　b")}));
}

}  // namespace
}  // namespace newsclass
