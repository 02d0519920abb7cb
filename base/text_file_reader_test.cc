#include "base/text_file_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TempDir;
using testing::writeFileBytes;

using Numbered = std::vector<std::pair<std::string, size_t>>;

// Every token (TokenScanner) or line (LineScanner) of a text, with its line number.
template <typename Scanner>
Numbered piecesOf(std::string_view text) {
  Numbered pieces;
  Scanner scanner(text);
  std::string_view piece;
  while (scanner.next(piece)) pieces.emplace_back(std::string(piece), scanner.line());
  return pieces;
}
const auto tokensOf = piecesOf<TokenScanner>;
const auto linesOf = piecesOf<LineScanner>;

TEST(TextFileReaderTest, ReadsEveryByteOfTheFile) {
  TempDir dir;
  // More than one read chunk, with NUL bytes, carriage returns and GBK bytes.
  std::string bytes;
  for (int i = 0; i < 100000; ++i) bytes += static_cast<char>(i * 7 % 256);
  writeFileBytes(dir.file("a.dat"), bytes);
  EXPECT_EQ(readTextFile(dir.file("a.dat")), bytes);
  std::string read = "stale";
  EXPECT_FALSE(tryReadTextFile(dir.file("a.dat"), read));
  EXPECT_EQ(read, bytes);
  writeFileBytes(dir.file("empty.dat"), "");
  EXPECT_EQ(readTextFile(dir.file("empty.dat")), "");
}

TEST(TextFileReaderTest, MissingFileAndFolderAreNamedWithTheReason) {
  TempDir dir;
  std::string bytes = "stale";
  EXPECT_EQ(tryReadTextFile(dir.file("none"), bytes),
            "cannot open for reading: No such file or directory");
  EXPECT_EQ(bytes, "");
  bytes = "stale";
  EXPECT_EQ(tryReadTextFile(dir.path(), bytes), "cannot read: Is a directory");
  EXPECT_EQ(bytes, "");
  try {
    readTextFile(dir.file("none"));
    ADD_FAILURE() << "a missing file was read";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              dir.file("none") + ": cannot open for reading: No such file or directory");
  }
}

TEST(TextFileReaderTest, ErrorsNameFileLineOrRecord) {
  EXPECT_STREQ(fileError("d/x.dat", "is empty").what(), "d/x.dat: is empty");
  EXPECT_STREQ(lineError("d/x.dat", 3, "expected 4 fields").what(),
               "d/x.dat: line 3: expected 4 fields");
  EXPECT_STREQ(recordError("d/x.dat", 12, "count is missing").what(),
               "d/x.dat: record 12: count is missing");
  EXPECT_STREQ(recordError("d/x.dat", 2, "article 7", "weight 1 is not a number").what(),
               "d/x.dat: record 2 (article 7): weight 1 is not a number");
}

TEST(TextFileReaderTest, TokensSplitAtClassicWhiteSpaceWithTheirLines) {
  EXPECT_EQ(tokensOf(""), Numbered{});
  EXPECT_EQ(tokensOf(" \t\r\n\v\f"), Numbered{});
  EXPECT_EQ(tokensOf("a b\tc"), (Numbered{{"a", 1}, {"b", 1}, {"c", 1}}));
  // LF, CR LF and a lone CR each end one line; VT and FF separate without ending one.
  EXPECT_EQ(tokensOf("a\nb\r\nc\rd\v\fe\n\n f "),
            (Numbered{{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 4}, {"f", 6}}));
  // GBK bytes (trail bytes 0x40-0xFE) and other control bytes stay inside a token.
  EXPECT_EQ(tokensOf("\xC0\xFA\xCA\xB7 \x01\xff"),
            (Numbered{{"\xC0\xFA\xCA\xB7", 1}, {"\x01\xff", 1}}));
}

TEST(TextFileReaderTest, ScannerLineAtTheEndAndRemainingBytes) {
  TokenScanner scanner("ab cd\n\n");
  std::string_view token;
  EXPECT_EQ(scanner.remaining(), 7u);
  ASSERT_TRUE(scanner.next(token));
  EXPECT_EQ(scanner.remaining(), 5u);
  ASSERT_TRUE(scanner.next(token));
  EXPECT_EQ(token, "cd");
  EXPECT_FALSE(scanner.next(token));
  EXPECT_EQ(token, "cd");
  EXPECT_EQ(scanner.line(), 3u);
  EXPECT_EQ(scanner.remaining(), 0u);
}

TEST(TextFileReaderTest, LinesEndAtLfCrLfOrALoneCr) {
  EXPECT_EQ(linesOf(""), Numbered{});
  EXPECT_EQ(linesOf("a"), (Numbered{{"a", 1}}));
  EXPECT_EQ(linesOf("a\n"), (Numbered{{"a", 1}}));
  EXPECT_EQ(linesOf("a\r\nb\rc\nd"), (Numbered{{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}}));
  // Empty lines are lines; a CR before CR LF ends a line of its own.
  EXPECT_EQ(linesOf("\n\na b \r\r\n"), (Numbered{{"", 1}, {"", 2}, {"a b ", 3}, {"", 4}}));
  EXPECT_EQ(linesOf("x\r"), (Numbered{{"x", 1}}));
  EXPECT_EQ(linesOf("\n"), (Numbered{{"", 1}}));
}

TEST(TextFileReaderTest, IntegersAreWholeTokensAsAStreamReadsThem) {
  EXPECT_EQ(parseInt32Token("0"), 0);
  EXPECT_EQ(parseInt32Token("-2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(parseInt32Token("+2147483647"), 2147483647);
  EXPECT_EQ(parseInt32Token("007"), 7);
  for (const char* bad :
       {"", "+", "-", "2147483648", "-2147483649", "3x", "x3", "++3", "+-3", "1.0", " 1", "0x10"}) {
    EXPECT_FALSE(parseInt32Token(bad)) << bad;
  }
  EXPECT_EQ(parseUint64Token("18446744073709551615"), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(parseUint64Token("+3"), 3u);
  EXPECT_FALSE(parseUint64Token("-1"));
  EXPECT_FALSE(parseUint64Token("18446744073709551616"));
}

TEST(TextFileReaderTest, DoublesTakeEveryFormAStreamTakes) {
  EXPECT_EQ(parseDoubleToken("0.941742"), 0.941742);
  EXPECT_EQ(parseDoubleToken("1e-006"), 1e-06);
  EXPECT_EQ(parseDoubleToken("+2.5E+000"), 2.5);
  EXPECT_EQ(parseDoubleToken("-.5"), -0.5);
  EXPECT_EQ(parseDoubleToken("5."), 5.0);
  EXPECT_EQ(parseDoubleToken("-inf"), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(*parseDoubleToken("nan")));
  // Beyond the range of double: strtod's value, not a refusal.
  EXPECT_EQ(parseDoubleToken("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(parseDoubleToken("1e-400"), 0.0);
  for (const char* bad : {"", "+", "x", "1.5x", "1e", "--1", "1,5", "0.5 "}) {
    EXPECT_FALSE(parseDoubleToken(bad)) << bad;
  }
}

TEST(TextFileReaderTest, MergeLoadedReplacesNamedKeysAndKeepsTheRest) {
  std::map<std::string, int> target;
  mergeLoaded(target, std::map<std::string, int>{{"a", 1}, {"b", 2}});
  EXPECT_EQ(target, (std::map<std::string, int>{{"a", 1}, {"b", 2}}));
  mergeLoaded(target, std::map<std::string, int>{{"b", 20}, {"c", 30}});
  EXPECT_EQ(target, (std::map<std::string, int>{{"a", 1}, {"b", 20}, {"c", 30}}));
  mergeLoaded(target, std::map<std::string, int>{});
  EXPECT_EQ(target.size(), 3u);
}

}  // namespace
}  // namespace newsclass
