#include "base/cache_location.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <filesystem>
#include <string>

#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::ScopedVariable;

TEST(CacheLocationTest, EachSwitchTurnsOffItsOwnCacheOnly) {
  ScopedVariable home("HOME", "/home/someone");
  ScopedVariable xdg("XDG_CACHE_HOME", "/var/cache/me");
  ScopedVariable first("NEWSCLASS_FIRST_CACHE", nullptr);
  ScopedVariable second("NEWSCLASS_SECOND_CACHE", "off");
  EXPECT_EQ(cacheFolder("NEWSCLASS_FIRST_CACHE"), "/var/cache/me/newsclass");
  EXPECT_EQ(cacheFolder("NEWSCLASS_SECOND_CACHE"), "");
  ScopedVariable on("NEWSCLASS_SECOND_CACHE", "on");
  EXPECT_EQ(cacheFolder("NEWSCLASS_SECOND_CACHE"), "/var/cache/me/newsclass");
  ScopedVariable relative("XDG_CACHE_HOME", "relative");
  EXPECT_EQ(cacheFolder("NEWSCLASS_FIRST_CACHE"), "/home/someone/.cache/newsclass");
  ScopedVariable noHome("HOME", nullptr);
  EXPECT_EQ(cacheFolder("NEWSCLASS_FIRST_CACHE"), "");
}

TEST(CacheLocationTest, FileNamesKeepASafeBaseNameAndHashTheWholePath) {
  const std::string path = "/data/run 1/trainingVSM.dat";
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx",
                static_cast<unsigned long long>(XXH3_64bits(path.data(), path.size())));
  EXPECT_EQ(cacheFileName(path, ".vectors"), std::string("trainingVSM.dat-") + hash + ".vectors");
  EXPECT_EQ(cacheFileName("/x/a b+c.txt", ".lexicon").substr(0, 10), "a_b_c.txt-");
  EXPECT_EQ(cacheFileName("/x/" + std::string(60, 'w'), "").size(), 48u + 1 + 16);
}

TEST(CacheLocationTest, SourcesAreRegularFilesNamedByTheirNormalAbsolutePath) {
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("source.txt"), "12345");
  std::filesystem::create_directory(dir.file("x"));
  struct stat status;
  std::string absolute;
  ASSERT_TRUE(examineCacheSource(dir.path() + "/x/../source.txt", status, absolute));
  EXPECT_EQ(absolute, std::filesystem::path(dir.path()).lexically_normal().string() + "/source.txt");
  EXPECT_EQ(status.st_size, 5);
  absolute = "unchanged";
  EXPECT_FALSE(examineCacheSource(dir.path(), status, absolute));
  EXPECT_FALSE(examineCacheSource(dir.file("missing"), status, absolute));
  EXPECT_EQ(absolute, "unchanged");
}

}  // namespace
}  // namespace newsclass
