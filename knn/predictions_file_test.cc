#include "knn/predictions_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/encoding.h"
#include "driver/errors.h"
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
                                   {3, "culture"}, {7, "science fiction"}};
  savePredictions(results, path);
  EXPECT_EQ(readFileBytes(path), "3 history\n-1 society&law\n12 \xc0\xfa\xca\xb7\n3 culture\n"
                                 "7 science fiction\n");
  EXPECT_EQ(loadPredictions(path), results);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  savePredictions({}, path);
  EXPECT_EQ(readFileBytes(path), "");
  EXPECT_TRUE(loadPredictions(path).empty());
}

TEST(PredictionsFileTest, ReadsCarriageReturnsAndAMissingLastLineFeed) {
  TempDir dir;
  const std::string path = dir.file("predictions.dat");
  writeFileBytes(path, "1 history\r\n2 culture");
  EXPECT_EQ(loadPredictions(path), (ClassificationResults{{1, "history"}, {2, "culture"}}));
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
