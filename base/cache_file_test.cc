#include "base/cache_file.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

const CacheIdentity kIdentity{CacheKind::kLexicon, 3, "key:/some/source"};  // 16 bytes
const std::string kPayload = "payload bytes, 29 of them....";

// A field of the header or key, by offset, and the fault a change there must bring.
struct Field {
  const char* name;
  size_t offset;
  CacheFault fault;
};

// The faults both readers find: the reader's after reading the whole payload, the map's.
std::pair<CacheFault, CacheFault> faultsOf(const std::string& path, const CacheIdentity& expected) {
  CacheFileReader reader(path, expected);
  std::string payload(reader.fault() == CacheFault::kNone ? reader.payloadSize() : 0, '\0');
  if (reader.read({std::as_writable_bytes(std::span(payload))})) reader.finish();
  MappedCacheFile mapped(path, expected);
  return {reader.fault(), mapped.fault()};
}

class CacheFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeCacheFile(path, kIdentity, kPayload.size(), [](CachePayloadWriter& out) {
      out.put(kPayload.data(), 10);
      out.put(kPayload.data() + 10, kPayload.size() - 10);
    });
    saved = testing::readFileBytes(path);
  }
  // The faults both readers find in `bytes`, written over the cache file.
  std::pair<CacheFault, CacheFault> faultsIn(const std::string& bytes,
                                            const CacheIdentity& expected = kIdentity) {
    testing::writeFileBytes(path, bytes);
    return faultsOf(path, expected);
  }
  static std::pair<CacheFault, CacheFault> both(CacheFault fault) { return {fault, fault}; }

  testing::TempDir dir;
  std::string path = dir.file("folder/made/on/saving.cache");
  std::string saved;
};

TEST_F(CacheFileTest, FrameBytesAreTheHeaderTheKeyPaddedThePayloadAndTheChecksum) {
  std::string expected("NCCACHE\0\1\0\0\0\4\3\2\1\1\0\0\0\3\0\0\0", 24);
  expected += std::string("\x10\0\0\0\0\0\0\0", 8) + std::string("\x1d\0\0\0\0\0\0\0", 8);
  expected += kIdentity.key;  // 16 bytes: no padding
  expected += kPayload;
  const uint64_t checksum = XXH3_64bits(expected.data(), expected.size());
  expected.append(reinterpret_cast<const char*>(&checksum), 8);
  EXPECT_EQ(saved, expected);

  // A key of 17 bytes is padded with 7 zeros, so the payload starts at 64.
  CacheIdentity longer = kIdentity;
  longer.key += "x";
  writeCacheFile(path, longer, 0, [](CachePayloadWriter&) {});
  const std::string padded = testing::readFileBytes(path);
  ASSERT_EQ(padded.size(), 64u + 8);
  EXPECT_EQ(padded.substr(40, 24), longer.key + std::string(7, '\0'));
  EXPECT_EQ(cachePayloadOffset(17), 64u);
}

TEST_F(CacheFileTest, RoundTripThroughTheReaderAndTheMap) {
  CacheFileReader reader(path, kIdentity);
  ASSERT_EQ(reader.fault(), CacheFault::kNone) << reader.reason();
  ASSERT_EQ(reader.payloadSize(), kPayload.size());
  std::string head(4, '\0'), rest(kPayload.size() - 4, '\0');
  ASSERT_TRUE(reader.read({std::as_writable_bytes(std::span(head))}));
  ASSERT_TRUE(reader.read({std::as_writable_bytes(std::span(rest))}));
  EXPECT_TRUE(reader.finish());
  EXPECT_EQ(head + rest, kPayload);

  MappedCacheFile mapped(path, kIdentity);
  ASSERT_EQ(mapped.fault(), CacheFault::kNone) << mapped.reason();
  EXPECT_EQ(std::string(mapped.payload(), mapped.payloadSize()), kPayload);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(mapped.payload()) % 8, 0u);
}

TEST_F(CacheFileTest, EveryHeaderFieldChangedIsRefused) {
  const Field fields[] = {
      {"magic", 0, CacheFault::kNotACache},
      {"magic's zero byte", 7, CacheFault::kNotACache},
      {"frame format", 8, CacheFault::kOtherFormat},
      {"byte order", 12, CacheFault::kOtherFormat},
      {"kind", 16, CacheFault::kOtherKind},
      {"payload version", 20, CacheFault::kOtherVersion},
      {"key length", 24, CacheFault::kOtherKey},
      {"key length's high byte", 31, CacheFault::kOtherKey},
      {"payload length", 32, CacheFault::kSizes},
      {"payload length's high byte", 39, CacheFault::kSizes},
      {"key", 40, CacheFault::kOtherKey},
      {"key's last byte", 55, CacheFault::kOtherKey},
      {"payload", 56, CacheFault::kChecksum},
      {"checksum", saved.size() - 1, CacheFault::kChecksum},
  };
  for (const Field& field : fields) {
    std::string changed = saved;
    changed[field.offset] ^= 0x01;
    EXPECT_EQ(faultsIn(changed), both(field.fault)) << field.name;
  }
  // The same frame with the checksum made right again is still refused for the field itself.
  std::string byteOrder = saved;
  std::swap(byteOrder[12], byteOrder[15]);
  const uint64_t checksum = XXH3_64bits(byteOrder.data(), byteOrder.size() - 8);
  std::memcpy(byteOrder.data() + byteOrder.size() - 8, &checksum, 8);
  EXPECT_EQ(faultsIn(byteOrder), both(CacheFault::kOtherFormat));
  EXPECT_EQ(faultsIn(saved), both(CacheFault::kNone));
}

TEST_F(CacheFileTest, NonzeroKeyPaddingIsDamage) {
  CacheIdentity odd = kIdentity;
  odd.key = "seven b";
  writeCacheFile(path, odd, kPayload.size(),
                 [](CachePayloadWriter& out) { out.put(kPayload.data(), kPayload.size()); });
  std::string padded = testing::readFileBytes(path);
  EXPECT_EQ(faultsIn(padded, odd), both(CacheFault::kNone));
  padded[47] = 'x';  // the one padding byte after the 7-byte key
  const uint64_t checksum = XXH3_64bits(padded.data(), padded.size() - 8);
  std::memcpy(padded.data() + padded.size() - 8, &checksum, 8);
  EXPECT_EQ(faultsIn(padded, odd), both(CacheFault::kDamaged));
}

TEST_F(CacheFileTest, AnotherKindOrKeyIsRefusedBeforeThePayloadIsLookedAt) {
  CacheIdentity vectors = kIdentity;
  vectors.kind = CacheKind::kTrainingVectors;
  EXPECT_EQ(faultsOf(path, vectors), both(CacheFault::kOtherKind));
  CacheIdentity version = kIdentity;
  version.payloadVersion = 4;
  EXPECT_EQ(faultsOf(path, version), both(CacheFault::kOtherVersion));
  CacheIdentity sameLength = kIdentity;
  sameLength.key.back() = 'X';
  EXPECT_EQ(faultsOf(path, sameLength), both(CacheFault::kOtherKey));
  CacheIdentity shorter = kIdentity;
  shorter.key.pop_back();
  EXPECT_EQ(faultsOf(path, shorter), both(CacheFault::kOtherKey));
}

TEST_F(CacheFileTest, CutOffLengthenedShortMissingAndFolderFilesAreRefused) {
  EXPECT_EQ(faultsIn(saved.substr(0, saved.size() - 1)), both(CacheFault::kSizes));
  EXPECT_EQ(faultsIn(saved + '\0'), both(CacheFault::kSizes));
  EXPECT_EQ(faultsIn(saved.substr(0, 56)), both(CacheFault::kSizes));  // no checksum
  EXPECT_EQ(faultsIn(saved.substr(0, kCacheHeaderSize)), both(CacheFault::kSizes));
  EXPECT_EQ(faultsIn(saved.substr(0, kCacheHeaderSize - 1)), both(CacheFault::kShort));
  EXPECT_EQ(faultsIn(""), both(CacheFault::kShort));

  CacheFileReader missing(dir.file("none"), kIdentity);
  EXPECT_EQ(missing.fault(), CacheFault::kCannotOpen);
  EXPECT_EQ(missing.reason(), "cannot open: No such file or directory");
  EXPECT_EQ(MappedCacheFile(dir.file("none"), kIdentity).reason(),
            "cannot open: No such file or directory");
  EXPECT_EQ(faultsOf(dir.path(), kIdentity), both(CacheFault::kNotRegular));
  EXPECT_EQ(MappedCacheFile(dir.path(), kIdentity).reason(), "not a regular file");
}

TEST_F(CacheFileTest, TheReaderHoldsItsCallerToThePayloadsSize) {
  {
    CacheFileReader reader(path, kIdentity);
    std::string tooMuch(kPayload.size() + 1, '\0');
    EXPECT_FALSE(reader.read({std::as_writable_bytes(std::span(tooMuch))}));
    EXPECT_EQ(reader.fault(), CacheFault::kSizes);
    EXPECT_FALSE(reader.finish());
  }
  CacheFileReader reader(path, kIdentity);
  std::string part(kPayload.size() - 1, '\0');
  ASSERT_TRUE(reader.read({std::as_writable_bytes(std::span(part))}));
  EXPECT_FALSE(reader.finish());
  EXPECT_EQ(reader.reason(), "sizes do not add up");
}

TEST_F(CacheFileTest, APayloadOfAnotherSizeThanPromisedIsNotWritten) {
  try {
    writeCacheFile(path, kIdentity, kPayload.size() + 1,
                   [](CachePayloadWriter& out) { out.put(kPayload.data(), kPayload.size()); });
    ADD_FAILURE() << "a payload of the wrong size was written";
  } catch (const DataFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              path + ": the payload holds 29 bytes, not the 30 of its header");
  }
  EXPECT_EQ(testing::readFileBytes(path), saved);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("folder/made/on")),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(CacheFaultTextTest, EveryFaultHasWords) {
  for (int fault = static_cast<int>(CacheFault::kCannotOpen);
       fault <= static_cast<int>(CacheFault::kCannotMap); ++fault) {
    EXPECT_NE(cacheFaultText(static_cast<CacheFault>(fault)), "") << fault;
    EXPECT_NE(cacheFaultText(static_cast<CacheFault>(fault)), "unknown fault") << fault;
  }
  EXPECT_EQ(cacheFaultText(CacheFault::kOtherKind), "another kind of cache");
}

}  // namespace
}  // namespace newsclass
