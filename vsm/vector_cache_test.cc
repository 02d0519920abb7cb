#include "vsm/vector_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <xxhash.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/errors.h"
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

// A cache forged with a right checksum: the bytes of a saved one, changed at `at`, with the
// checksum recomputed. The reason it is refused, or "" when it loads.
class ForgedVectorCacheTest : public VectorCacheTest {
 protected:
  void SetUp() override {
    VectorCacheTest::SetUp();
    saveVectorCache(cacheFile, stamp, model);
    saved = testing::readFileBytes(cacheFile);
  }
  std::string rejection(size_t at, const void* value, size_t size) {
    std::string file = saved;
    std::memcpy(file.data() + at, value, size);
    const uint64_t checksum = XXH3_64bits(file.data(), file.size() - 8);
    std::memcpy(file.data() + file.size() - 8, &checksum, 8);
    testing::writeFileBytes(cacheFile, file);
    std::string reason;
    const bool loaded = loadVectorCache(cacheFile, stamp, &reason) != nullptr;
    return loaded ? "" : reason;
  }
  // Where the path, the ids and the weights start: after the 72-byte header, each part padded
  // to 8 bytes.
  size_t pathOffset() const { return 72; }
  size_t idsOffset() const { return 72 + (stamp.path.size() + 7) / 8 * 8; }
  size_t weightsOffset() const { return idsOffset() + 16; }  // 3 ids, padded

  std::string saved;
};

TEST_F(ForgedVectorCacheTest, WeightsTheTextLoaderRefusesAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double largest = std::numeric_limits<double>::max();
  EXPECT_EQ(rejection(weightsOffset(), &nan, 8), "holds a weight that is not a finite number");
  EXPECT_EQ(rejection(weightsOffset() + 8 * 8, &inf, 8), "holds a weight that is not a finite number");
  const double minusInf = -inf;
  EXPECT_EQ(rejection(weightsOffset() + 4 * 8, &minusInf, 8),
            "holds a weight that is not a finite number");
  // A signalling NaN and one with the sign bit: every all-ones exponent with a mantissa.
  const uint64_t signalling = 0xfff0000000000001;
  EXPECT_EQ(rejection(weightsOffset() + 8, &signalling, 8),
            "holds a weight that is not a finite number");
  // The largest finite weight and the changed bytes put back are still caches.
  EXPECT_EQ(rejection(weightsOffset(), &largest, 8), "");
  EXPECT_EQ(rejection(0, saved.data(), 8), "");
}

TEST_F(ForgedVectorCacheTest, IdsOutOfOrderAndNonzeroPaddingAreRefused) {
  const int32_t repeated = 3;  // the second id made equal to the first
  EXPECT_EQ(rejection(idsOffset() + 4, &repeated, 4), "damaged");
  const int32_t lower = -5;  // the last id made the lowest
  EXPECT_EQ(rejection(idsOffset() + 8, &lower, 4), "damaged");
  const char one = 1;
  EXPECT_EQ(rejection(idsOffset() + 12, &one, 1), "damaged");  // the ids' padding
  EXPECT_EQ(rejection(12, &one, 1), "damaged");                // the reserved field
  if (stamp.path.size() % 8 != 0) {
    EXPECT_EQ(rejection(pathOffset() + stamp.path.size(), &one, 1), "damaged");
  }
}

TEST_F(VectorCacheTest, ACacheSavedWithANonFiniteWeightIsNeverUsed) {
  // Saving does not judge weights; loading does, so such a cache is rebuilt from the text.
  model[7][1] = std::nan("");
  saveVectorCache(cacheFile, stamp, model);
  std::string reason;
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "holds a weight that is not a finite number");
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
