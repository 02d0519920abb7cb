#include "driver/token_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/errors.h"
#include "driver/text_file_reader.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

std::vector<std::string> tokensOf(const std::string& path, size_t bufferSize) {
  FileTokenStream stream(path, bufferSize);
  std::vector<std::string> tokens;
  std::string_view token;
  while (stream.next(token)) tokens.emplace_back(token);
  return tokens;
}

TEST(FileTokenStreamTest, SplitsAsTokenScannerAtEveryBufferSize) {
  testing::TempDir dir;
  const std::string path = dir.file("tokens.txt");
  const std::string text =
      "  17\r\n2\r\n0.941742 0.336336 \n\v\f18\t2\n" + std::string(100, 'x') + " 1e-06";
  testing::writeFileBytes(path, text);
  std::vector<std::string> expected;
  TokenScanner scanner(text);
  std::string_view token;
  while (scanner.next(token)) expected.emplace_back(token);
  ASSERT_EQ(expected.size(), 8u);
  // Small buffers cut tokens at every position and force the buffer to grow for the long one.
  for (size_t size : {16, 17, 23, 64, 1 << 20}) EXPECT_EQ(tokensOf(path, size), expected) << size;
}

TEST(FileTokenStreamTest, EmptyAndBlankFilesHaveNoTokens) {
  testing::TempDir dir;
  const std::string path = dir.file("blank.txt");
  for (const std::string text : {"", " \n\r\n\t "}) {
    testing::writeFileBytes(path, text);
    EXPECT_TRUE(tokensOf(path, 16).empty());
  }
}

TEST(FileTokenStreamTest, RemainingCountsBytesNotYetReturned) {
  testing::TempDir dir;
  const std::string path = dir.file("count.txt");
  testing::writeFileBytes(path, "12 3456 7\n");
  FileTokenStream stream(path, 16);
  EXPECT_EQ(stream.remaining(), 10u);
  std::string_view token;
  ASSERT_TRUE(stream.next(token));
  EXPECT_EQ(stream.remaining(), 8u);
  ASSERT_TRUE(stream.next(token));
  ASSERT_TRUE(stream.next(token));
  EXPECT_EQ(stream.remaining(), 1u);
}

TEST(FileTokenStreamTest, FailuresUseReadTextFileMessages) {
  testing::TempDir dir;
  const std::string missing = dir.file("none.dat");
  try {
    FileTokenStream stream(missing);
    ADD_FAILURE() << "a missing file opened";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              missing + ": cannot open for reading: No such file or directory");
  }
  try {
    FileTokenStream stream(dir.path());
    std::string_view token;
    stream.next(token);
    ADD_FAILURE() << "a folder was read";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), dir.path() + ": cannot read: Is a directory");
  }
}

}  // namespace
}  // namespace newsclass
