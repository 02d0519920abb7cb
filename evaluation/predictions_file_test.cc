#include "evaluation/predictions_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::TempDir;
using testing::writeFileBytes;

TEST(PredictionsFileTest, SavedBytesAndRoundTrip) {
  TempDir dir;
  const std::string path = dir.file("predictions.dat");
  ClassificationResults results = {{3, "history"}, {-1, "society&law"}, {12, gbk("历史")},
                                   {4, "culture"}, {7, "science fiction"}};
  savePredictions(results, path);
  EXPECT_EQ(readFileBytes(path), "3 history\n-1 society&law\n12 \xc0\xfa\xca\xb7\n4 culture\n"
                                 "7 science fiction\n");
  EXPECT_EQ(loadPredictions(path), results);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  savePredictions({}, path);
  EXPECT_EQ(readFileBytes(path), "");
  EXPECT_TRUE(loadPredictions(path).empty());
}

TEST(PredictionsFileTest, ReadsEveryLineEndStyleAndAMissingLastLineEnd) {
  TempDir dir;
  const std::string path = dir.file("predictions.dat");
  const ClassificationResults expected = {{1, "history"}, {2, "society&law"}, {3, "science fiction"}};
  for (const std::string& bytes :
       {std::string("1 history\r\n2 society&law\r\n3 science fiction\r\n"),
        std::string("1 history\r2 society&law\r3 science fiction\r"),
        std::string("1 history\r2 society&law\n3 science fiction"),
        std::string("1 history\r\n2 society&law\r3 science fiction")}) {
    writeFileBytes(path, bytes);
    EXPECT_EQ(loadPredictions(path), expected) << bytes;
  }
  // Blank lines count in either style: a lone CR after CR LF is an empty line.
  for (const std::string& bytes : {std::string("1 history\r\r2 culture\r"),
                                   std::string("1 history\r\n\r2 culture\r\n")}) {
    writeFileBytes(path, bytes);
    try {
      loadPredictions(path);
      ADD_FAILURE() << "accepted: " << bytes;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + ": line 2: expected \"<article id> <category>\"");
    }
  }
}

TEST(PredictionsFileTest, RepeatedArticleIdIsRefusedOnReadAndWrite) {
  TempDir dir;
  const std::string path = dir.file("predictions.dat");
  writeFileBytes(path, "5 history\r\n6 culture\r\n7 culture\r\n5 culture\r\n");
  try {
    loadPredictions(path);
    ADD_FAILURE() << "accepted a repeated id";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              path + ": line 4: article 5 is predicted again (first on line 1)");
  }
  try {
    savePredictions({{5, "history"}, {6, "culture"}, {5, "history"}}, path);
    ADD_FAILURE() << "wrote a repeated id";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              path + ": article 5 is predicted twice; a predictions file holds one line per article");
  }
  EXPECT_EQ(readFileBytes(path), "5 history\r\n6 culture\r\n7 culture\r\n5 culture\r\n");
}

TEST(PredictionsFileTest, MalformedLinesAreReportedWithTheirNumber) {
  TempDir dir;
  const std::string path = dir.file("predictions.dat");
  struct Case {
    std::string bytes;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {"1 history\nhistory\n", ": line 2: expected \"<article id> <category>\""},
           {"1 history\n\n2 culture\n", ": line 2: expected \"<article id> <category>\""},
           {"x1 history\n", ": line 1: article id \"x1\" is not a number"},
           {"99999999999 history\n", ": line 1: article id \"99999999999\" is not a number"},
           {"1 history\n2 culture\n3 \n", ": line 3: the category is empty"},
           {" 1 history\n", ": line 1: article id \"\" is not a number"}}) {
    writeFileBytes(path, c.bytes);
    try {
      loadPredictions(path);
      ADD_FAILURE() << "accepted: " << c.bytes;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + c.message);
    }
  }
  EXPECT_THROW(loadPredictions(dir.file("missing.dat")), DataFileError);
}

TEST(PredictionsFileTest, ACategoryThatIsNotOneLineIsRefused) {
  TempDir dir;
  const std::string path = dir.file("predictions.dat");
  writeFileBytes(path, "1 history\n");
  EXPECT_THROW(savePredictions({{1, "a\nb"}}, path), DataFileError);
  EXPECT_THROW(savePredictions({{1, ""}}, path), DataFileError);
  EXPECT_EQ(readFileBytes(path), "1 history\n");  // the old file stays
}

}  // namespace
}  // namespace newsclass
