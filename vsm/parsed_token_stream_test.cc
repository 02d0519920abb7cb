#include "vsm/parsed_token_stream.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/text_file_reader.h"
#include "testing/test_support.h"
#include "vsm/weight_text.h"

namespace newsclass {
namespace {

struct Read {
  std::vector<std::string> tokens;
  std::vector<std::optional<double>> weights;
};

Read readAll(const std::string& path, int threads, size_t blockBytesPerThread) {
  ParsedTokenStream stream(path, threads, blockBytesPerThread);
  Read read;
  std::string_view token;
  while (stream.next(token)) {
    read.tokens.emplace_back(token);
    read.weights.push_back(stream.weight());
  }
  return read;
}

TEST(ParsedTokenStreamTest, SplitsAsTokenScannerAtEveryBlockSizeAndThreadCount) {
  testing::TempDir dir;
  const std::string path = dir.file("tokens.txt");
  const std::string text = "  17\r\n2\r\n0.941742 0.336336 \n\v\f18\t2\n" + std::string(100, 'x') +
                           " 1e-06 -0 nan 1e999 0.5x";
  testing::writeFileBytes(path, text);
  std::vector<std::string> expected;
  TokenScanner scanner(text);
  std::string_view token;
  while (scanner.next(token)) expected.emplace_back(token);
  ASSERT_EQ(expected.size(), 12u);
  std::vector<std::optional<double>> weights;
  for (const std::string& each : expected) weights.push_back(parseWeightToken(each));
  EXPECT_FALSE(weights[6].has_value());  // the long token of x
  // Small blocks cut tokens at every position and make the block grow for the long one.
  for (int threads : {1, 2, 3}) {
    for (size_t size : {1, 5, 16, 17, 23, 64, 1 << 20}) {
      const Read read = readAll(path, threads, size);
      EXPECT_EQ(read.tokens, expected) << threads << " " << size;
      ASSERT_EQ(read.weights.size(), weights.size());
      for (size_t i = 0; i < weights.size(); ++i) {
        EXPECT_EQ(read.weights[i].has_value(), weights[i].has_value()) << expected[i];
        if (weights[i] && *weights[i] == *weights[i]) {
          EXPECT_EQ(*read.weights[i], *weights[i]);
        }
      }
    }
  }
}

TEST(ParsedTokenStreamTest, EmptyAndBlankFilesHaveNoTokens) {
  testing::TempDir dir;
  const std::string path = dir.file("blank.txt");
  for (const std::string& text : {std::string(), std::string(" \n\r\n\t "), std::string(300, ' ')}) {
    testing::writeFileBytes(path, text);
    for (int threads : {1, 4}) EXPECT_TRUE(readAll(path, threads, 16).tokens.empty());
  }
}

TEST(ParsedTokenStreamTest, RemainingCountsBytesNotYetReturned) {
  testing::TempDir dir;
  const std::string path = dir.file("count.txt");
  testing::writeFileBytes(path, "12 3456 7\n");
  ParsedTokenStream stream(path, 2, 3);
  EXPECT_EQ(stream.remaining(), 10u);
  std::string_view token;
  ASSERT_TRUE(stream.next(token));
  EXPECT_EQ(stream.remaining(), 8u);
  ASSERT_TRUE(stream.next(token));
  EXPECT_EQ(token, "3456");
  EXPECT_EQ(stream.remaining(), 3u);
  ASSERT_TRUE(stream.next(token));
  EXPECT_EQ(stream.remaining(), 1u);
  EXPECT_FALSE(stream.next(token));
}

TEST(ParsedTokenStreamTest, FailuresUseReadTextFileMessages) {
  testing::TempDir dir;
  const std::string missing = dir.file("none.dat");
  try {
    ParsedTokenStream stream(missing, 2);
    ADD_FAILURE() << "a missing file opened";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              missing + ": cannot open for reading: No such file or directory");
  }
  try {
    ParsedTokenStream stream(dir.path(), 2);
    std::string_view token;
    stream.next(token);
    ADD_FAILURE() << "a folder was read";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), dir.path() + ": cannot read: Is a directory");
  }
}

}  // namespace
}  // namespace newsclass
