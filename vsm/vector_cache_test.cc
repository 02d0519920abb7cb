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

#include "base/cache_file.h"
#include "base/errors.h"
#include "segmentation/compiled_lexicon.h"
#include "segmentation/lexicon_cache.h"
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
  EXPECT_EQ(reason, "cannot open: No such file or directory");
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
  EXPECT_EQ(reason, "sizes do not add up");
  std::string damaged = bytes;
  damaged[damaged.size() - 20] ^= 0x01;  // a weight's bit
  testing::writeFileBytes(cacheFile, damaged);
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "checksum mismatch");
  testing::writeFileBytes(cacheFile, "NCCACHE");
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "shorter than its header");
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
  // Where the path, the payload, the ids and the weights start: the key (the file's size, time,
  // inode and device, then its path) after the 40-byte frame header, padded to 8 bytes; the
  // payload's vector count and length, then the ids, padded to 8 bytes.
  size_t pathOffset() const { return kCacheHeaderSize + 32; }
  size_t payloadOffset() const { return cachePayloadOffset(32 + stamp.path.size()); }
  size_t idsOffset() const { return payloadOffset() + 16; }
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
  if (stamp.path.size() % 8 != 0) {  // the key's padding
    EXPECT_EQ(rejection(pathOffset() + stamp.path.size(), &one, 1), "damaged");
  }
  // Counts that do not give the payload's size.
  const uint64_t four = 4;
  EXPECT_EQ(rejection(payloadOffset(), &four, 8), "sizes do not add up");
  EXPECT_EQ(rejection(payloadOffset() + 8, &four, 8), "sizes do not add up");
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

// The bytes the first vector cache format gave a model: a header of its own (72 bytes: its
// magic, format 1, a reserved field, the stamp, the counts, the path's length), the path and
// the ids each padded to 8 bytes, the weights and the checksum.
std::string firstFormatBytes(const VectorFileStamp& stamp, const VsmModel& model) {
  struct {
    char magic[8];
    uint32_t format, reserved;
    uint64_t size;
    int64_t modifiedNs;
    uint64_t inode, device, count, dimension, pathLength;
  } header = {{'N', 'C', 'V', 'E', 'C', 'T', 'O', 'R'}, 1, 0, stamp.size, stamp.modifiedNs,
              stamp.inode, stamp.device, model.size(), model.begin()->second.size(),
              stamp.path.size()};
  static_assert(sizeof header == 72);
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  bytes += stamp.path;
  bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
  for (const auto& entry : model) bytes.append(reinterpret_cast<const char*>(&entry.first), 4);
  bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
  for (const auto& entry : model) {
    bytes.append(reinterpret_cast<const char*>(entry.second.data()), entry.second.size() * 8);
  }
  const uint64_t checksum = XXH3_64bits(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(&checksum), 8);
  return bytes;
}

TEST_F(VectorCacheTest, ACacheOfTheFirstFormatIsRefused) {
  // A file the first format would have taken as the cache of this very vector file.
  std::filesystem::create_directories(std::filesystem::path(cacheFile).parent_path());
  testing::writeFileBytes(cacheFile, firstFormatBytes(stamp, model));
  std::string reason;
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "not a cache");
  saveVectorCache(cacheFile, stamp, model);
  EXPECT_NE(loadVectorCache(cacheFile, stamp), nullptr);
}

TEST_F(VectorCacheTest, ALexiconCacheWhereAVectorCacheIsExpectedIsRefused) {
  const std::string words = "研究 100 vn\n";
  testing::writeFileBytes(dir.file("words.txt"), words);
  LexiconSource source;
  ASSERT_TRUE(describeLexiconSource(dir.file("words.txt"), words, source));
  saveLexiconCache(cacheFile, source, *compileLexicon(words));
  std::string reason;
  EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr);
  EXPECT_EQ(reason, "another kind of cache");
  // And the other way round.
  saveVectorCache(cacheFile, stamp, model);
  EXPECT_EQ(loadLexiconCache(cacheFile, source, &reason), nullptr);
  EXPECT_EQ(reason, "another kind of cache");
}

TEST_F(VectorCacheTest, EveryHeaderFieldChangedIsRefusedAndSavingRebuildsIt) {
  saveVectorCache(cacheFile, stamp, model);
  const std::string good = testing::readFileBytes(cacheFile);
  // Magic, frame format, byte order, kind, payload version, key length, payload length, the
  // key's size, time, inode, device and path, and the checksum.
  const std::vector<std::pair<size_t, std::string>> fields = {
      {0, "not a cache"},
      {8, "another format"},
      {12, "another format"},
      {16, "another kind of cache"},
      {20, "another payload version"},
      {24, "saved for another version of the file"},
      {32, "sizes do not add up"},
      {40, "saved for another version of the file"},
      {48, "saved for another version of the file"},
      {56, "saved for another version of the file"},
      {64, "saved for another version of the file"},
      {72, "saved for another version of the file"},
      {good.size() - 8, "checksum mismatch"}};
  for (const auto& [at, expected] : fields) {
    std::string changed = good;
    changed[at] ^= 0x02;
    testing::writeFileBytes(cacheFile, changed);
    std::string reason;
    EXPECT_EQ(loadVectorCache(cacheFile, stamp, &reason), nullptr) << at;
    EXPECT_EQ(reason, expected) << at;
    saveVectorCache(cacheFile, stamp, model);
    EXPECT_EQ(testing::readFileBytes(cacheFile), good) << at;
  }
}

TEST(VectorCacheLocationTest, ItsOwnSwitchTurnsItOffAndTheLexiconsDoesNot) {
  testing::ScopedVariable xdg("XDG_CACHE_HOME", "/var/cache/me");
  {
    testing::ScopedVariable vectors("NEWSCLASS_VECTOR_CACHE", nullptr);
    testing::ScopedVariable lexicon("NEWSCLASS_LEXICON_CACHE", "off");
    EXPECT_EQ(vectorCacheFolder(), "/var/cache/me/newsclass");
    EXPECT_EQ(lexiconCacheFolder(), "");
  }
  testing::ScopedVariable vectors("NEWSCLASS_VECTOR_CACHE", "off");
  testing::ScopedVariable lexicon("NEWSCLASS_LEXICON_CACHE", nullptr);
  EXPECT_EQ(vectorCacheFolder(), "");
  EXPECT_EQ(lexiconCacheFolder(), "/var/cache/me/newsclass");
  EXPECT_EQ(vectorCacheFile("/var/cache/me/newsclass", "/data/trainingVSM.dat").substr(0, 40),
            "/var/cache/me/newsclass/trainingVSM.dat-");
}

}  // namespace
}  // namespace newsclass
