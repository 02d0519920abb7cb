#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_utils.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::TestEnvironment;
using testing::writeFileBytes;

class ContingencyFileTest : public ::testing::Test {
 protected:
  std::string path() const { return env.dir.file("contingency.dat"); }
  // Loads the file into `table` and checks the console got exactly the timing line.
  void load(ContingencyTable& table, const std::string& file) {
    CorpusProcessor processor = env.processor(1, 10);
    processor.loadContingencyTable(table, file);
    const std::string output = env.takeOutput();
    const std::string label = gbk("将contingencyTable加载到内存的时间为");
    ASSERT_GT(output.size(), label.size() + 1);
    EXPECT_EQ(output.substr(0, label.size()), label);
    EXPECT_EQ(output.back(), '\n');
    EXPECT_TRUE(parseDouble(output.substr(label.size(), output.size() - label.size() - 1)));
  }
  void save(const ContingencyTable& table) {
    env.processor(1, 10).saveContingencyTable(table, path());
  }

  TestEnvironment env;
  const std::string word = gbk("历史");
};

TEST_F(ContingencyFileTest, RecordsAreFourFieldsSeparatedBySpacesInTableOrder) {
  const ContingencyTable table = {{{word, "history"}, {12, 988}},
                                  {{"b", "culture"}, {3, 0}},
                                  {{"a", "reading"}, {2147483647, 0}},
                                  {{"a", "culture"}, {0, 5}}};
  save(table);
  EXPECT_EQ(readFileBytes(path()),
            "a culture 0 5\n"
            "a reading 2147483647 0\n"
            "b culture 3 0\n" +
                word + " history 12 988\n");
  EXPECT_FALSE(std::filesystem::exists(path() + ".tmp"));
  EXPECT_EQ(env.takeOutput(), "");

  ContingencyTable loaded;
  load(loaded, path());
  EXPECT_EQ(loaded, table);
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(ContingencyFileTest, EmptyTableGivesEmptyFileThatLoadsNothing) {
  writeFileBytes(path(), "stale content\n");
  save({});
  EXPECT_EQ(readFileBytes(path()), "");
  ContingencyTable table = {{{"kept", "history"}, {1, 2}}};
  load(table, path());
  EXPECT_EQ(table, (ContingencyTable{{{"kept", "history"}, {1, 2}}}));
}

TEST_F(ContingencyFileTest, LineEndsAndOrderDoNotMatter) {
  const ContingencyTable expected = {{{"a", "culture"}, {1, 2}}, {{"b", "history"}, {3, 4}}};
  for (const std::string bytes :
       {"a culture 1 2\nb history 3 4\n", "a culture 1 2\nb history 3 4",
        "a culture 1 2\r\nb history 3 4\r\n", "b history 3 4\n\n a\tculture  1\v2 \f",
        "a culture 7 7\nb history 3 4\na culture +1 2\n"}) {
    writeFileBytes(path(), bytes);
    ContingencyTable table;
    load(table, path());
    EXPECT_EQ(table, expected) << bytes;
  }
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(ContingencyFileTest, LoadingAddsToTheTable) {
  writeFileBytes(path(), "b history 3 4\nc culture 5 6\n");
  ContingencyTable table = {{{"a", "culture"}, {1, 2}}, {{"b", "history"}, {9, 9}}};
  load(table, path());
  const ContingencyTable expected = {
      {{"a", "culture"}, {1, 2}}, {{"b", "history"}, {3, 4}}, {{"c", "culture"}, {5, 6}}};
  EXPECT_EQ(table, expected);
}

TEST_F(ContingencyFileTest, MalformedRecordIsRefusedNamingTheLineAndLoadsNothing) {
  const ContingencyTable before = {{{"a", "culture"}, {9, 9}}, {{"kept", "history"}, {1, 2}}};
  for (const auto& [bytes, message] : std::vector<std::pair<std::string, std::string>>{
           {"a culture 1 2\nb history\n 3x 4\nc culture 5 6\n",
            ": line 3: withWord \"3x\" is not a decimal integer"},
           {"a culture 1 2\nb history 3 2147483648\n",
            ": line 2: withoutWord \"2147483648\" is not a decimal integer"},
           {"a culture 1 2\nb history 3 4\nc culture\n5",
            ": line 3: record ends after 3 of 4 fields"},
           {"a culture 1 2\r\n\r\nb", ": line 3: record ends after 1 of 4 fields"},
           // A lone CR ends a line as well.
           {"a culture 1 2\rb history 3 x", ": line 2: withoutWord \"x\" is not a decimal integer"},
           {gbk("历史") + " culture " + gbk("三") + " 4",
            ": line 1: withWord \"三\" is not a decimal integer"}}) {
    writeFileBytes(path(), bytes);
    ContingencyTable table = before;
    try {
      env.processor(1, 10).loadContingencyTable(table, path());
      ADD_FAILURE() << "accepted: " << bytes;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), path() + message);
    }
    EXPECT_EQ(table, before) << bytes;
  }
  EXPECT_EQ(env.warnings.str(), "");
  EXPECT_EQ(env.takeOutput(), "");
}

TEST_F(ContingencyFileTest, NegativeCountIsRefusedNamingTheLine) {
  for (const auto& [bytes, message] : std::vector<std::pair<std::string, std::string>>{
           {"a culture 1 2\nb history -3 4\n", ": line 2: withWord -3 is negative"},
           {"a culture 1 2\r\nb history\n3\n-1\n", ": line 4: withoutWord -1 is negative"},
           {"a culture 0 -2147483648", ": line 1: withoutWord -2147483648 is negative"}}) {
    writeFileBytes(path(), bytes);
    ContingencyTable table;
    try {
      env.processor(1, 10).loadContingencyTable(table, path());
      ADD_FAILURE() << "accepted: " << bytes;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), path() + message);
    }
  }
  EXPECT_EQ(env.warnings.str(), "");
  // Zero is a count like any other.
  writeFileBytes(path(), "a culture 0 0\n");
  ContingencyTable table;
  load(table, path());
  EXPECT_EQ(table, (ContingencyTable{{{"a", "culture"}, {0, 0}}}));
}

TEST_F(ContingencyFileTest, MissingFileIsAnErrorNamingIt) {
  ContingencyTable table = {{{"a", "culture"}, {1, 2}}};
  const std::string missing = env.dir.file("absent.dat");
  try {
    env.processor(1, 10).loadContingencyTable(table, missing);
    ADD_FAILURE() << "a missing file loaded";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              missing + ": cannot open for reading: No such file or directory");
  }
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(env.warnings.str(), "");
}

}  // namespace
}  // namespace newsclass
