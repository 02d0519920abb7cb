#include "vsm/vector_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

class VectorCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::writeFileBytes(vectorFile, "stands for the vectors\n");
    ASSERT_TRUE(stampVectorFile(vectorFile, stamp));
    model = {{3, {0.5, -1e-300, 4.9e-324}}, {7, {0.0, -0.0, 1.0}}, {12, {0.25, 0.125, 2.0}}};
  }

  static std::vector<double> rowOf(const MappedVectorModel& mapped, size_t row) {
    const double* weights = mapped.rows()[row];
    return std::vector<double>(weights, weights + mapped.dimension());
  }

  testing::TempDir dir;
  std::string vectorFile = dir.file("trainingVSM.dat");
  std::string cacheFile = vectorCacheFile(dir.file("cache"), dir.file("trainingVSM.dat"));
  VectorFileStamp stamp;
  VsmModel model;
};

TEST_F(VectorCacheTest, RoundTripGivesTheSameIdsAndWeightsBitForBit) {
  EXPECT_EQ(std::filesystem::path(cacheFile).filename().string().substr(0, 16), "trainingVSM.dat-");
  EXPECT_TRUE(cacheFile.ends_with(".vectors"));
  std::string reason;
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "no cache");
  saveVectorCache(cacheFile, stamp, model);
  const std::unique_ptr<MappedVectorModel> mapped = loadVectorCache(cacheFile, stamp, &reason);
  ASSERT_NE(mapped, nullptr) << reason;
  EXPECT_EQ(mapped->ids(), (std::vector<int32_t>{3, 7, 12}));
  ASSERT_EQ(mapped->dimension(), 3u);
  size_t row = 0;
  for (const auto& [id, vector] : model) {
    const std::vector<double> loaded = rowOf(*mapped, row++);
    EXPECT_EQ(std::memcmp(loaded.data(), vector.data(), 3 * sizeof(double)), 0) << id;
  }
  // An empty model caches as nothing, and loads as nothing.
  saveVectorCache(cacheFile, stamp, {});
  ASSERT_NE(loadVectorCache(cacheFile, stamp), nullptr);
  EXPECT_EQ(loadVectorCache(cacheFile, stamp)->size(), 0u);
}

TEST_F(VectorCacheTest, AReplacedOrEditedVectorFileMakesTheCacheStale) {
  saveVectorCache(cacheFile, stamp, model);
  // Replaced as the stages replace it: a new file renamed over the old one.
  const std::string fresh = dir.file("fresh.dat");
  testing::writeFileBytes(fresh, "stands for the vectors\n");
  std::filesystem::rename(fresh, vectorFile);
  VectorFileStamp replaced;
  ASSERT_TRUE(stampVectorFile(vectorFile, replaced));
  std::string reason;
  EXPECT_EQ(loadVectorCache(cacheFile, replaced, &reason), nullptr);
  EXPECT_EQ(reason, "saved for another version of the file");
  // Another file of the same name elsewhere does not match either.
  VectorFileStamp other = stamp;
  other.path = dir.file("other/trainingVSM.dat");
  EXPECT_EQ(loadVectorCache(cacheFile, other, &reason), nullptr);
}

TEST_F(VectorCacheTest, CutOffOrDamagedCachesAreNotUsed) {
  saveVectorCache(cacheFile, stamp, model);
  const std::string bytes = testing::readFileBytes(cacheFile);
  std::string reason;
  testing::writeFileBytes(cacheFile, bytes.substr(0, bytes.size() - 9));
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "cut off");
  std::string damaged = bytes;
  damaged[damaged.size() - 20] ^= 0x01;  // a weight's bit
  testing::writeFileBytes(cacheFile, damaged);
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "damaged");
  testing::writeFileBytes(cacheFile, "NCVECTOR");
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "cut off");
}

TEST_F(VectorCacheTest, UnwritableFolderIsAnErrorNamingTheCache) {
  if (geteuid() == 0) {
    // root writes anywhere: a file where the folder should be blocks it instead.
    testing::writeFileBytes(dir.file("blocked"), "");
    cacheFile = vectorCacheFile(dir.file("blocked"), vectorFile);
  } else {
    std::filesystem::create_directories(dir.file("locked"));
    std::filesystem::permissions(dir.file("locked"), std::filesystem::perms::owner_read);
    cacheFile = vectorCacheFile(dir.file("locked"), vectorFile);
  }
  try {
    saveVectorCache(cacheFile, stamp, model);
    ADD_FAILURE() << "saved into " << cacheFile;
  } catch (const DataFileError& error) {
    EXPECT_EQ(std::string(error.what()).rfind(cacheFile, 0), 0u) << error.what();
  }
}

}  // namespace
}  // namespace newsclass
