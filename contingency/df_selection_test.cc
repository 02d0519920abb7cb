#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::TestEnvironment;
using testing::writeFileBytes;

class DfSelectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Document frequencies: c 3, then a, b, "\xB0\xA1" and "z" with 2, then d with 1. Among equal
    // frequencies the order is byte-wise, so the GBK word (0xB0...) follows "z".
    auto add = [this](const std::string& word, int df) {
      for (int i = 0; i < df; ++i) dictionary[word].push_back({i + 1, 5 - i});
    };
    add("b", 2);
    add("d", 1);
    add("a", 2);
    add("c", 3);
    add(gbk("啊"), 2);
    add("z", 2);
  }
  std::string select(unsigned n) {
    env.processor(1, 10).selectByDfThreshold(dictionary, n, path);
    return readFileBytes(path);
  }
  std::string closingLines(const std::string& written, const std::string& n) {
    return gbk("最后共选择特征词") + written + "\nby the way,DFthreshold equals" + n + "\n";
  }

  TestEnvironment env;
  Dictionary dictionary;
  const std::string path = env.dir.file("keywords.dat");
};

TEST_F(DfSelectionTest, HighestDocumentFrequencyFirstTiesInByteOrder) {
  EXPECT_EQ(select(4), "c\na\nb\nz\n");
  EXPECT_EQ(env.takeOutput(), closingLines("4", "4"));
  EXPECT_EQ(select(6), "c\na\nb\nz\n" + gbk("啊") + "\nd\n");
}

TEST_F(DfSelectionTest, ZeroSelectsNothingAndIsRefusedLeavingTheFile) {
  writeFileBytes(path, "old\n");
  try {
    select(0);
    ADD_FAILURE() << "a threshold of 0 was accepted";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              path + ": no feature word selected: a threshold of 0");
  }
  EXPECT_EQ(readFileBytes(path), "old\n");
  EXPECT_EQ(env.takeOutput(), "");
}

TEST_F(DfSelectionTest, ThresholdBeyondTheDictionaryWritesEveryWord) {
  EXPECT_EQ(select(4000000000u), "c\na\nb\nz\n" + gbk("啊") + "\nd\n");
  EXPECT_EQ(env.takeOutput(), closingLines("6", "4000000000"));
}

}  // namespace
}  // namespace newsclass
