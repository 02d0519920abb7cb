#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::TestEnvironment;
using testing::writeFileBytes;

class VectorFileTest : public ::testing::Test {
 protected:
  std::string save(const VsmModel& model) {
    processor.saveVsm(model, path);
    return readFileBytes(path);
  }
  VsmModel load(const std::string& bytes, VsmModel model = {}) {
    writeFileBytes(path, bytes);
    processor.loadVsm(model, path);
    return model;
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 6000);
  std::string path = env.dir.file("trainingVSM.dat");
};

TEST_F(VectorFileTest, ExampleBytes) {
  EXPECT_EQ(save({{18, {0.5, 0.000001}}, {17, {0.941742, 0.336336}}}),
            "17\n2\n0.941742 0.336336 \n18\n2\n0.5 1e-06 \n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  const std::string label = gbk("将语料库集合的VSM模型为序列化到硬盘的时间为");
  std::string output = env.takeOutput();
  EXPECT_EQ(output.compare(0, label.size(), label), 0) << output;
  EXPECT_EQ(output.back(), '\n');
}

TEST_F(VectorFileTest, ZeroNegativeAndEmptyVectors) {
  EXPECT_EQ(save({{-3, {0.0, -0.25, 1234567.0}}, {4, {}}}),
            "-3\n3\n0 -0.25 1.23457e+06 \n4\n0\n\n");
  EXPECT_EQ(load("-3\n3\n0 -0.25 1.23457e+06 \n4\n0\n\n"),
            (VsmModel{{-3, {0.0, -0.25, 1234570.0}}, {4, {}}}));
}

TEST_F(VectorFileTest, EveryWeightIsPrintfG) {
  std::mt19937_64 random(11);
  VsmModel model;
  std::string expected;
  for (int32_t id = 1; id <= 50; ++id) {
    WeightVector& weights = model[id];
    expected += std::to_string(id) + "\n40\n";
    for (int k = 0; k < 40; ++k) {
      double w = std::ldexp(static_cast<double>(random() >> 11), -53 - static_cast<int>(random() % 40));
      if (random() % 3 == 0) w = -w;
      weights.push_back(w);
      char text[64];
      std::snprintf(text, sizeof text, "%g ", w);
      expected += text;
    }
    expected += "\n";
  }
  EXPECT_EQ(save(model), expected);
}

TEST_F(VectorFileTest, SaveLoadSaveGivesTheSameFile) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  VsmModel model;
  for (int32_t id : {3, 1, 1000, -7, 42}) {
    for (int k = 0; k < 25; ++k) model[id].push_back(uniform(random) * std::pow(10.0, -(k % 9)));
  }
  const std::string first = save(model);
  VsmModel loaded = load(first);
  ASSERT_EQ(loaded.size(), model.size());
  // Weights come back rounded to six significant digits, exactly as the text says.
  EXPECT_EQ(loaded.at(3)[0], std::stod([&] {
              char text[32];
              std::snprintf(text, sizeof text, "%g", model.at(3)[0]);
              return std::string(text);
            }()));
  EXPECT_EQ(save(loaded), first);
}

TEST_F(VectorFileTest, FileOfManyBuffersLoadsEveryWeightAsItsText) {
  // About 7 MB: records and tokens straddle the reader's buffer boundaries; weights repeat a few
  // values per vector as TF-IDF weights do.
  std::mt19937_64 random(13);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  VsmModel model;
  for (int32_t id = 1; id <= 600; ++id) {
    WeightVector& weights = model[id * 3];
    const double common = unit(random) * 0.1;
    for (int k = 0; k < 1000; ++k) weights.push_back(random() % 10 ? common : unit(random));
  }
  const std::string first = save(model);
  ASSERT_GT(first.size(), 3u << 20);
  const VsmModel loaded = load(first);
  ASSERT_EQ(loaded.size(), model.size());
  for (const auto& [id, weights] : model) {
    const WeightVector& back = loaded.at(id);
    ASSERT_EQ(back.size(), weights.size());
    for (size_t k = 0; k < weights.size(); ++k) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", weights[k]);
      ASSERT_EQ(back[k], std::strtod(text, nullptr)) << id << " " << k;
    }
  }
  EXPECT_EQ(save(loaded), first);
}

TEST_F(VectorFileTest, BytesDoNotDependOnTheThreadCount) {
  // Enough weights for several batches per thread, and an uneven last round.
  std::mt19937_64 random(19);
  VsmModel model;
  for (int32_t id = 1; id <= 450; ++id) {
    WeightVector& weights = model[id];
    for (int k = 0; k < 1000; ++k) {
      weights.push_back(k % 3 ? 0.1 * (k % 7) / id : static_cast<double>(random() % 1000000) * 1e-9);
    }
  }
  model[451] = {};
  const std::string single = save(model);
  for (int threads : {2, 3}) {
    env.environment.threads = threads;
    processor.saveVsm(model, path);
    ASSERT_EQ(readFileBytes(path), single) << threads;
  }
  processor.saveVsm({}, path);
  EXPECT_EQ(readFileBytes(path), "");
}

TEST_F(VectorFileTest, ReaderGoesByTokensAndAcceptsThreeDigitExponents) {
  VsmModel model = load("18\r\n2\r\n0.5   1e-006\r\n17 1 +2.5E+000 19\n0\n");
  EXPECT_EQ(model, (VsmModel{{17, {2.5}}, {18, {0.5, 1e-06}}, {19, {}}}));
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(VectorFileTest, EmptyModelIsAnEmptyFileAndLoadsNothing) {
  EXPECT_EQ(save({}), "");
  env.takeOutput();
  EXPECT_EQ(load("", {{5, {1.0}}}), (VsmModel{{5, {1.0}}}));
  const std::string label = gbk("加载VSM模型到内存的时间为");
  EXPECT_EQ(env.takeOutput().compare(0, label.size(), label), 0);
}

TEST_F(VectorFileTest, LoadMergesIntoTheModel) {
  VsmModel model = load("17\n2\n0.941742 0.336336 \n18\n2\n0.5 1e-06 \n",
                        {{1, {9.0}}, {17, {9.0, 9.0, 9.0}}});
  EXPECT_EQ(model, (VsmModel{{1, {9.0}}, {17, {0.941742, 0.336336}}, {18, {0.5, 1e-06}}}));
}

TEST_F(VectorFileTest, DamagedFileIsRefusedNamingTheRecordAndLoadsNothing) {
  const VsmModel before{{1, {9.0}}, {5, {0.25}}};
  for (const auto& [bytes, message] : std::vector<std::pair<std::string, std::string>>{
           {"1\n1\n0.5 \n2\n3\n0.1 0.2 \n", ": record 2 (article 2): 3 weights announced, 2 found"},
           {"1\n1\n0.5 \n2\n2\n0.1 x \n3\n0\n\n",
            ": record 2 (article 2): weight 2 \"x\" is not a number"},
           {"1.5\n0\n\n", ": record 1: article id \"1.5\" is not a number"},
           {"garbage\n", ": record 1: article id \"garbage\" is not a number"},
           {"7", ": record 1 (article 7): the number of weights is missing"},
           {"7\n-1\n", ": record 1 (article 7): the number of weights \"-1\" is not a count"},
           {"1\n2\n0.5 0.5 \n17\n3\n0.1 nan 0.2 \n",
            ": record 2 (article 17): weight 2 \"nan\" is not a finite number"},
           {"4 1 -inf", ": record 1 (article 4): weight 1 \"-inf\" is not a finite number"},
           {"4 2 0 1e400", ": record 1 (article 4): weight 2 \"1e400\" is not a finite number"},
           // A token the same as the one before but for a trailing NUL is still refused (what()
           // ends at the NUL).
           {std::string("4 2 0.5 0.5\0", 12), ": record 1 (article 4): weight 2 \"0.5"}}) {
    writeFileBytes(path, bytes);
    VsmModel model = before;
    try {
      processor.loadVsm(model, path);
      ADD_FAILURE() << "accepted: " << bytes;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + message);
    }
    // The records before the damaged one are not merged in either.
    EXPECT_EQ(model, before) << bytes;
  }
  EXPECT_EQ(env.warnings.str(), "");
  // No timing line for a load that did not happen.
  EXPECT_EQ(env.takeOutput(), "");
}

TEST_F(VectorFileTest, MissingOrUnreadableFileIsAnErrorNamingIt) {
  VsmModel model{{1, {1.0}}};
  const std::string missing = env.dir.file("none.dat");
  try {
    processor.loadVsm(model, missing);
    ADD_FAILURE() << "a missing file loaded";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              missing + ": cannot open for reading: No such file or directory");
  }
  try {
    processor.loadVsm(model, env.dir.path());
    ADD_FAILURE() << "a folder loaded";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), env.dir.path() + ": cannot read: Is a directory");
  }
  EXPECT_EQ(model, (VsmModel{{1, {1.0}}}));
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(VectorFileTest, WeightsBeyondDoubleRangeLoadAsStrtodRoundsThem) {
  VsmModel model = load("1 3 1e-400 4.94066e-324 -1e-320");
  ASSERT_EQ(model.at(1).size(), 3u);
  EXPECT_EQ(model.at(1)[0], 0.0);
  EXPECT_EQ(model.at(1)[1], std::strtod("4.94066e-324", nullptr));
  EXPECT_GT(model.at(1)[1], 0.0);
  EXPECT_LT(model.at(1)[2], 0.0);
}

}  // namespace
}  // namespace newsclass
