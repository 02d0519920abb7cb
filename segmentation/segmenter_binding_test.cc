#include "segmentation/segmenter_binding.h"

#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"
#include "base/errors.h"
#include "corpusdb/database_fault.h"
#include "processor/corpus_processor.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

const std::string kImportHeading =
    "\n\xB5\xBC\xC8\xEB\xD3\xC3\xBB\xA7\xB4\xCA\xB5\xE4\xBA\xF3\xA3\xBA\n";

// "导入N个用户词。\n" in GBK bytes.
std::string importedLine(const std::string& count) {
  return "\xB5\xBC\xC8\xEB" + count + "\xB8\xF6\xD3\xC3\xBB\xA7\xB4\xCA\xA1\xA3\n";
}

TEST(SegmenterBindingTest, StartPrintsTheImportLinesAndLoadsTheUserWords) {
  testing::TestEnvironment test;
  test.environment.lexiconPath = "testdata/tiny_lexicon.txt";
  testing::writeFileBytes(test.environment.userDictionaryPath, "研究生\n量子计算机 5\n");
  CorpusProcessor processor = test.processor(1, 10);
  processor.startSegmenter();
  EXPECT_EQ(test.takeOutput(), kImportHeading + importedLine("2"));
  EXPECT_TRUE(test.segmenter.started());
  EXPECT_EQ(testing::segmentText(test.segmenter, utf8ToGbk("研究生命")), utf8ToGbk("研究生  命"));

  processor.stopSegmenter();
  EXPECT_EQ(test.takeOutput(), "");
  EXPECT_FALSE(test.segmenter.started());
  EXPECT_EQ(testing::segmentText(test.segmenter, utf8ToGbk("研究生命")),
            utf8ToGbk("研  究  生  命"));
}

TEST(SegmenterBindingTest, SecondStartReadsTheUserDictionaryAgain) {
  testing::TestEnvironment test;
  test.environment.lexiconPath = "testdata/tiny_lexicon.txt";
  testing::writeFileBytes(test.environment.userDictionaryPath, "研究生\n");
  CorpusProcessor processor = test.processor(1, 10);
  processor.startSegmenter();
  processor.stopSegmenter();
  testing::writeFileBytes(test.environment.userDictionaryPath, "生命起源\n起源 7\n北京 9\n");
  processor.startSegmenter();
  EXPECT_EQ(test.takeOutput(),
            kImportHeading + importedLine("1") + kImportHeading + importedLine("3"));
  // 研究生 was a user word of the first start only.
  EXPECT_EQ(testing::segmentText(test.segmenter, utf8ToGbk("研究生命")), utf8ToGbk("研究  生命"));
  EXPECT_EQ(testing::segmentText(test.segmenter, utf8ToGbk("研究生命起源")),
            utf8ToGbk("研究  生命起源"));
}

TEST(SegmenterBindingTest, FailedStartPrintsTheFailureLineAndNamesTheLexicon) {
  testing::TestEnvironment test;  // its lexicon file does not exist
  testing::writeFileBytes(test.environment.userDictionaryPath, "研究生\n");
  CorpusProcessor processor = test.processor(1, 10);
  const std::string path = test.environment.lexiconPath;
  try {
    processor.startSegmenter();
    ADD_FAILURE() << "started without a lexicon";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), path + ": cannot read the segmenter's lexicon (--lexicon)");
  }
  EXPECT_EQ(test.takeOutput(), "ICTCLAS INIT FAILED!\n");
  EXPECT_FALSE(test.segmenter.started());

  // A file that holds no usable entry (no frequency, a frequency of 0) fails the same way.
  testing::writeFileBytes(path, "研究生\n生命 0\n");
  try {
    processor.startSegmenter();
    ADD_FAILURE() << "started with an empty lexicon";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              path +
                  ": the segmenter's lexicon holds no entry of a word and a positive frequency "
                  "(--lexicon)");
  }
  EXPECT_EQ(test.takeOutput(), "ICTCLAS INIT FAILED!\n");
}

TEST(SegmenterBindingTest, LexiconCheckIsSilentWhenTheSegmenterCanStart) {
  testing::TestEnvironment test;
  CorpusProcessor processor = test.processor(1, 10);
  EXPECT_THROW(checkSegmenterLexicon(processor.environment()), DataFileError);
  EXPECT_EQ(test.takeOutput(), "ICTCLAS INIT FAILED!\n");

  test.environment.lexiconPath = "testdata/tiny_lexicon.txt";
  checkSegmenterLexicon(processor.environment());
  EXPECT_EQ(test.takeOutput(), "");
  EXPECT_FALSE(test.segmenter.started());  // the environment's segmenter is left alone

  test.environment.segmenter = nullptr;  // nothing to start, nothing to check
  test.environment.lexiconPath = test.dir.file("absent.txt");
  checkSegmenterLexicon(processor.environment());
  EXPECT_EQ(test.takeOutput(), "");
}

TEST(SegmenterBindingTest, EnvironmentWithoutASegmenterIsAFailedStart) {
  testing::TestEnvironment test;
  test.environment.lexiconPath = "testdata/tiny_lexicon.txt";
  test.environment.segmenter = nullptr;
  testing::writeFileBytes(test.environment.userDictionaryPath, "研究生\n");
  CorpusProcessor processor = test.processor(1, 10);
  processor.startSegmenter();
  processor.stopSegmenter();
  EXPECT_EQ(test.takeOutput(), "ICTCLAS INIT FAILED!\n" + kImportHeading + importedLine("0"));
}

TEST(SegmenterBindingTest, MissingUserDictionaryImportsNothing) {
  testing::TestEnvironment test;
  test.environment.lexiconPath = "testdata/tiny_lexicon.txt";
  CorpusProcessor processor = test.processor(1, 10);
  processor.startSegmenter();
  EXPECT_EQ(test.takeOutput(), kImportHeading + importedLine("0"));
  EXPECT_EQ(testing::segmentText(test.segmenter, utf8ToGbk("研究生命")), utf8ToGbk("研究  生命"));
}

TEST(SegmenterBindingTest, SessionStopsTheSegmenterHoweverTheStageEnds) {
  testing::TestEnvironment test;
  test.environment.lexiconPath = "testdata/tiny_lexicon.txt";
  CorpusProcessor processor = test.processor(1, 10);
  {
    SegmenterSession session(processor.environment());
    EXPECT_TRUE(test.segmenter.started());
  }
  EXPECT_FALSE(test.segmenter.started());
  try {
    SegmenterSession session(processor.environment());
    throw DataFileError("stage failed");
  } catch (const DataFileError&) {
  }
  EXPECT_FALSE(test.segmenter.started());
  // Stopped early, then started again by another session: the first one's end stops nothing.
  SegmenterSession first(processor.environment());
  first.stop();
  EXPECT_FALSE(test.segmenter.started());
  {
    SegmenterSession second(processor.environment());
    first.stop();
    EXPECT_TRUE(test.segmenter.started());
  }
  EXPECT_FALSE(test.segmenter.started());
}

TEST(SegmenterBindingTest, DictionaryBuildThatFailsStopsTheSegmenter) {
  testing::TestEnvironment test;
  test.environment.lexiconPath = "testdata/tiny_lexicon.txt";
  CorpusProcessor processor = test.processor(1, 10);
  Dictionary dictionary;
  // The table does not exist: the query fails after the segmenter has started.
  EXPECT_THROW(
      processor.buildDictionary(dictionary, &CorpusProcessor::tokenizeArticle, "NoSuchTable"),
      DatabaseFault);
  EXPECT_EQ(test.takeOutput(), kImportHeading + importedLine("0"));
  EXPECT_FALSE(test.segmenter.started());
}

}  // namespace
}  // namespace newsclass
