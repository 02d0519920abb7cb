#include "segmentation/lexicon_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <xxhash.h>

#include <cstdlib>
#include <cmath>
#include <cstring>
#include <limits>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/cache_file.h"
#include "base/encoding.h"
#include "segmentation/segmenter.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

const char* const kTinyLexicon = "testdata/tiny_lexicon.txt";
constexpr size_t kHeaderSize = kCacheHeaderSize;
// Offsets in the payload: the head's word count and figures, then the roots.
constexpr size_t kWordCountAt = 8, kTotalAt = 24, kRarestAt = 32, kMostFrequentAt = 40;
constexpr size_t kRootsAt = 48;

using testing::ScopedVariable;

// Segments UTF-8 text and gives the words back in UTF-8, joined by "|".
std::string cut(std::shared_ptr<const CompiledLexicon> lexicon, const std::string& utf8) {
  Segmenter segmenter;
  segmenter.start(std::move(lexicon));
  std::vector<std::string_view> words;
  std::string text = utf8ToGbk(utf8);
  segmenter.segmentInto(text, words);
  std::string joined;
  for (std::string_view word : words) {
    if (!joined.empty()) joined += '|';
    joined += gbkToUtf8(word);
  }
  return joined;
}

// The two lexicons hold the same trie, value for value, and the same figures, bit for bit.
void expectSameBits(const CompiledLexicon& a, const CompiledLexicon& b) {
  EXPECT_EQ(a.words.wordCount(), b.words.wordCount());
  ASSERT_EQ(a.words.nodeCount(), b.words.nodeCount());
  for (size_t i = 0; i < 4; ++i) {
    auto x = a.words.arrays()[i], y = b.words.arrays()[i];
    ASSERT_EQ(x.size(), y.size()) << "array " << i;
    EXPECT_EQ(std::memcmp(x.data(), y.data(), x.size()), 0) << "array " << i;
  }
  EXPECT_EQ(std::memcmp(&a.total, &b.total, sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(&a.minLogProbability, &b.minLogProbability, sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(&a.maxLogProbability, &b.maxLogProbability, sizeof(double)), 0);
}

void setModified(const std::string& path, const timespec& when) {
  timespec times[2] = {when, when};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

timespec modified(const std::string& path) {
  struct stat status;
  EXPECT_EQ(stat(path.c_str(), &status), 0);
  return status.st_mtim;
}

// A cache file saved for a copy of the tiny lexicon, and what it was saved from.
class LexiconCacheFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes = testing::readFileBytes(kTinyLexicon);
    testing::writeFileBytes(lexiconPath, bytes);
    ASSERT_TRUE(describeLexiconSource(lexiconPath, bytes, source));
    compiled = compileLexicon(bytes);
    ASSERT_TRUE(compiled);
    saveLexiconCache(cacheFile, source, *compiled);
    saved = testing::readFileBytes(cacheFile);
  }
  // Loads `fileBytes` written as the cache file; the reason when it is rejected, else "".
  std::string rejection(const std::string& fileBytes) {
    testing::writeFileBytes(cacheFile, fileBytes);
    std::string reason;
    auto loaded = loadLexiconCache(cacheFile, source, &reason);
    EXPECT_EQ(loaded == nullptr, !reason.empty());
    return loaded ? "" : reason;
  }
  // `fileBytes` with its trailing checksum made right again.
  static std::string withChecksum(std::string fileBytes) {
    uint64_t checksum = XXH3_64bits(fileBytes.data(), fileBytes.size() - 8);
    std::memcpy(fileBytes.data() + fileBytes.size() - 8, &checksum, 8);
    return fileBytes;
  }
  // The key holds the list's size, time and hash before its path.
  size_t payloadOffset() const { return cachePayloadOffset(24 + source.path.size()); }
  size_t nodesOffset() const { return payloadOffset() + kRootsAt + 65536 * 4; }

  testing::TempDir dir;
  std::string lexiconPath = dir.file("lexicon.txt");
  std::string cacheFile = dir.file("cache/lexicon.lexicon");
  std::string bytes;
  LexiconSource source;
  std::shared_ptr<CompiledLexicon> compiled;
  std::string saved;
};

TEST_F(LexiconCacheFileTest, RoundTripRestoresEveryArrayAndFigureBitForBit) {
  const uint64_t nodes = compiled->words.nodeCount();
  EXPECT_EQ(saved.size(), payloadOffset() + kRootsAt + 65536 * 4 + nodes * 18 + 8);
  // The frame's header: kind 1, payload version 1, the key's and the payload's lengths.
  std::string head("NCCACHE\0\1\0\0\0\4\3\2\1\1\0\0\0\1\0\0\0", 24);
  const uint64_t lengths[2] = {24 + source.path.size(), kRootsAt + 65536 * 4 + nodes * 18};
  head.append(reinterpret_cast<const char*>(lengths), 16);
  EXPECT_EQ(saved.substr(0, kHeaderSize), head);
  // The key: the list's size, modification time and hash, then its path.
  const uint64_t stamp[3] = {source.size, static_cast<uint64_t>(source.modifiedNs),
                             source.contentHash};
  EXPECT_EQ(saved.substr(kHeaderSize, 24), std::string(reinterpret_cast<const char*>(stamp), 24));
  EXPECT_EQ(saved.substr(kHeaderSize + 24, source.path.size()), source.path);
  // The payload's head: compile rules 1, the word and node counts.
  const uint64_t counts[3] = {1, compiled->words.wordCount(), nodes};
  EXPECT_EQ(saved.substr(payloadOffset(), 24), std::string(reinterpret_cast<const char*>(counts), 24));
  // The checksum ends the file wherever the payload ends: read it byte by byte.
  uint64_t checksum = 0;
  std::memcpy(&checksum, saved.data() + saved.size() - 8, 8);
  EXPECT_EQ(XXH3_64bits(saved.data(), saved.size() - 8), checksum);

  std::string reason;
  auto loaded = loadLexiconCache(cacheFile, source, &reason);
  ASSERT_TRUE(loaded) << reason;
  expectSameBits(*compiled, *loaded);
  EXPECT_EQ(cut(loaded, "研究生命起源，结婚的和尚未结婚的"),
            cut(compiled, "研究生命起源，结婚的和尚未结婚的"));
  // Saving what was loaded gives the same bytes.
  saveLexiconCache(cacheFile, source, *loaded);
  EXPECT_EQ(testing::readFileBytes(cacheFile), saved);
}

TEST_F(LexiconCacheFileTest, CacheOfAnotherWordListIsNotUsed) {
  std::string reason;
  for (int field = 0; field < 5; ++field) {
    LexiconSource other = source;
    if (field == 0) other.size += 1;
    if (field == 1) other.modifiedNs += 1;
    if (field == 2) other.contentHash ^= 1;
    if (field == 3) other.path.back() = 'X';  // same length
    if (field == 4) other.path += "x";
    EXPECT_EQ(loadLexiconCache(cacheFile, other, &reason), nullptr) << field;
    EXPECT_EQ(reason, "saved for another word list") << field;
  }
  std::string otherFormat = saved;
  otherFormat[8] = 2;
  EXPECT_EQ(rejection(otherFormat), "another format");
  std::string otherRules = saved;
  otherRules[payloadOffset()] = 2;
  EXPECT_EQ(rejection(otherRules), "other compile rules");
  std::string otherOrder = saved;
  std::swap(otherOrder[12], otherOrder[15]);
  EXPECT_EQ(rejection(otherOrder), "another format");
  EXPECT_EQ(loadLexiconCache(dir.file("none"), source, &reason), nullptr);
  EXPECT_EQ(reason, "cannot open: No such file or directory");
  EXPECT_EQ(loadLexiconCache(dir.path(), source, &reason), nullptr);
  EXPECT_EQ(reason, "not a regular file");
}

TEST_F(LexiconCacheFileTest, CutOffOrDamagedFilesAreRejected) {
  EXPECT_EQ(rejection(saved), "");
  EXPECT_EQ(rejection(""), "shorter than its header");
  EXPECT_EQ(rejection(saved.substr(0, kHeaderSize - 1)), "shorter than its header");
  for (size_t size : {kHeaderSize, kHeaderSize + 5, nodesOffset() + 3, saved.size() - 1}) {
    EXPECT_EQ(rejection(saved.substr(0, size)), "sizes do not add up") << size;
  }
  EXPECT_EQ(rejection(saved + '\0'), "sizes do not add up");
  EXPECT_EQ(rejection("XCCACHE" + saved.substr(7)), "not a cache");
  // One changed byte anywhere past the fields checked first: in the figures, the path, the
  // roots, the nodes, the units, the values and the checksum itself.
  for (size_t at : {payloadOffset() + kTotalAt, payloadOffset() + kMostFrequentAt,
                    kHeaderSize + 24 + 1, payloadOffset() + kRootsAt + 4, nodesOffset() + 8,
                    saved.size() - 200, saved.size() - 20, saved.size() - 1}) {
    std::string damaged = saved;
    damaged[at] ^= 0x10;
    EXPECT_NE(rejection(damaged), "") << at;
  }
  std::string wrongWordCount = saved;
  wrongWordCount[payloadOffset() + kWordCountAt] ^= 1;
  EXPECT_EQ(rejection(wrongWordCount), "checksum mismatch");
}

TEST_F(LexiconCacheFileTest, IndexesOutOfBoundsAreRejectedEvenWithARightChecksum) {
  const uint32_t nodes = static_cast<uint32_t>(compiled->words.nodeCount());
  auto forged = [&](size_t at, const void* value, size_t size) {
    std::string file = saved;
    std::memcpy(file.data() + at, value, size);
    return rejection(withChecksum(file));
  };
  // A root beyond the last node; a node whose children run past the end.
  const size_t rootOf = payloadOffset() + kRootsAt + 4 * 0xD6D0;  // 中
  EXPECT_EQ(forged(rootOf, &nodes, 4), "trie out of bounds");
  const uint32_t children[2] = {nodes - 1, 2};
  EXPECT_EQ(forged(nodesOffset() + 8, children, 8), "trie out of bounds");
  // Children out of order, which would mislead the binary search.
  const size_t unitsOffset = nodesOffset() + 8 * size_t{nodes};
  std::string file = saved;
  std::swap(file[unitsOffset + 2], file[unitsOffset + 4]);
  std::swap(file[unitsOffset + 3], file[unitsOffset + 5]);
  EXPECT_EQ(rejection(withChecksum(file)), "trie out of bounds");
  // Unknown flags, a word count the nodes do not bear out.
  const uint8_t flags = 0x84;
  EXPECT_EQ(forged(nodesOffset() + 8 + 6, &flags, 1), "trie out of bounds");
  const uint64_t words = compiled->words.wordCount() - 1;
  EXPECT_EQ(forged(payloadOffset() + kWordCountAt, &words, 8), "trie out of bounds");
  // Each of them was made from a file that loads.
  EXPECT_EQ(rejection(withChecksum(saved)), "");
}

TEST_F(LexiconCacheFileTest, ValuesNoCompilingGivesAreRejectedEvenWithARightChecksum) {
  const size_t nodes = compiled->words.nodeCount();
  const size_t valuesOffset = nodesOffset() + 10 * nodes;
  auto forged = [&](size_t at, const void* value, size_t size) {
    std::string file = saved;
    std::memcpy(file.data() + at, value, size);
    return rejection(withChecksum(file));
  };
  // The first word node and the first node that is no word.
  uint32_t word = 0, other = 0;
  for (uint32_t node = 1; node < nodes; ++node) {
    if (compiled->words.flags(node) != 0 && word == 0) word = node;
    if (compiled->words.flags(node) == 0 && other == 0) other = node;
  }
  ASSERT_NE(word, 0u);
  ASSERT_NE(other, 0u);
  const double nan = std::nan("");
  const double inf = std::numeric_limits<double>::infinity();
  const double minusInf = -inf;
  const double positive = 0.5;  // log(frequency / total) is never above 0
  for (const double* value : {&nan, &inf, &minusInf, &positive}) {
    EXPECT_EQ(forged(valuesOffset + 8 * word, value, 8), "values out of range") << *value;
  }
  EXPECT_EQ(forged(valuesOffset + 8 * other, &positive, 8), "values out of range");
  EXPECT_EQ(forged(valuesOffset, &positive, 8), "values out of range");  // the empty node 0
  // A word value below the rarest word's figure, and each figure of the header forged.
  const double lower = compiled->minLogProbability - 1;
  EXPECT_EQ(forged(valuesOffset + 8 * word, &lower, 8), "values out of range");
  for (size_t figure : {kTotalAt, kRarestAt, kMostFrequentAt}) {
    EXPECT_EQ(forged(payloadOffset() + figure, &nan, 8), "values out of range") << figure;
  }
  const double zero = 0, negative = -1;
  EXPECT_EQ(forged(payloadOffset() + kTotalAt, &zero, 8), "values out of range");
  EXPECT_EQ(forged(payloadOffset() + kTotalAt, &negative, 8), "values out of range");
  EXPECT_EQ(forged(payloadOffset() + kRarestAt, &lower, 8), "values out of range");
  // A word forced as a user word is: a compiled lexicon holds none.
  const uint8_t forcedWord = WordTrie::kWord | WordTrie::kForced;
  EXPECT_EQ(forged(nodesOffset() + 8 * word + 6, &forcedWord, 1), "values out of range");
  // The same value put back loads.
  const double same = compiled->words.value(word);
  EXPECT_EQ(forged(valuesOffset + 8 * word, &same, 8), "");
}

class LexiconCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes = testing::readFileBytes(kTinyLexicon);
    testing::writeFileBytes(lexiconPath, bytes);
  }
  LexiconLoad load() { return loadLexiconThroughCache(lexiconPath, bytes, folder, &warnings); }
  std::string cacheFile() const {
    return folder + "/" +
           lexiconCacheFileName(std::filesystem::absolute(lexiconPath).lexically_normal().string());
  }

  testing::TempDir dir;
  std::string lexiconPath = dir.file("lexicon.txt");
  std::string folder = dir.file("cache/newsclass");
  std::string bytes;
  std::ostringstream warnings;
};

TEST_F(LexiconCacheTest, SavedOnceThenLoadedWithTheSameWords) {
  const std::string text = "研究生命起源，结婚的和尚未结婚的中国人民银行戊己";
  LexiconLoad first = load();
  ASSERT_EQ(first.cacheUse, LexiconCacheUse::kSaved);
  EXPECT_TRUE(std::filesystem::is_regular_file(cacheFile()));
  LexiconLoad second = load();
  ASSERT_EQ(second.cacheUse, LexiconCacheUse::kLoaded);
  expectSameBits(*first.lexicon, *second.lexicon);
  EXPECT_EQ(cut(second.lexicon, text),
            "研究|生命|起源|，|结婚|的|和|尚未|结婚|的|中国|人民|银行|戊己");
  EXPECT_EQ(cut(second.lexicon, text), cut(compileLexicon(bytes), text));
  EXPECT_EQ(warnings.str(), "");
}

TEST_F(LexiconCacheTest, StaleCacheIsRebuilt) {
  ASSERT_EQ(load().cacheUse, LexiconCacheUse::kSaved);
  // The same size and modification time, other content: 研究 loses its weight.
  const timespec when = modified(lexiconPath);
  std::string changed = bytes;
  changed.replace(changed.find(" 100 vn"), 7, " 001 vn");
  ASSERT_EQ(changed.size(), bytes.size());
  testing::writeFileBytes(lexiconPath, changed);
  setModified(lexiconPath, when);
  bytes = changed;
  LexiconLoad rebuilt = load();
  EXPECT_EQ(rebuilt.cacheUse, LexiconCacheUse::kSaved);
  EXPECT_EQ(cut(rebuilt.lexicon, "研究生命起源"), "研究生|命|起源");
  EXPECT_EQ(load().cacheUse, LexiconCacheUse::kLoaded);
  // Only the modification time changes.
  setModified(lexiconPath, timespec{when.tv_sec + 1, when.tv_nsec});
  EXPECT_EQ(load().cacheUse, LexiconCacheUse::kSaved);
  setModified(lexiconPath, timespec{when.tv_sec + 1, (when.tv_nsec + 1) % 1000000000});
  EXPECT_EQ(load().cacheUse, LexiconCacheUse::kSaved);
  LexiconLoad again = load();
  EXPECT_EQ(again.cacheUse, LexiconCacheUse::kLoaded);
  EXPECT_EQ(cut(again.lexicon, "研究生命起源"), "研究生|命|起源");
  EXPECT_EQ(warnings.str(), "");
}

TEST_F(LexiconCacheTest, ForgedValuesWithARightChecksumAreRebuiltNotUsed) {
  ASSERT_EQ(load().cacheUse, LexiconCacheUse::kSaved);
  std::string forged = testing::readFileBytes(cacheFile());
  const double nan = std::nan("");
  std::memcpy(forged.data() + forged.size() - 16, &nan, 8);  // the last node's value
  const uint64_t checksum = XXH3_64bits(forged.data(), forged.size() - 8);
  std::memcpy(forged.data() + forged.size() - 8, &checksum, 8);
  testing::writeFileBytes(cacheFile(), forged);
  LexiconLoad rebuilt = load();
  EXPECT_EQ(rebuilt.cacheUse, LexiconCacheUse::kSaved);
  expectSameBits(*rebuilt.lexicon, *compileLexicon(bytes));
  EXPECT_EQ(load().cacheUse, LexiconCacheUse::kLoaded);
  EXPECT_EQ(warnings.str(), "");
}

TEST_F(LexiconCacheTest, DamagedOrCutOffCacheIsRebuilt) {
  ASSERT_EQ(load().cacheUse, LexiconCacheUse::kSaved);
  const std::string good = testing::readFileBytes(cacheFile());
  for (const std::string& bad : {good.substr(0, good.size() / 2), std::string("garbage"),
                                 good.substr(0, 200) + std::string(good.size() - 200, '\xFF')}) {
    testing::writeFileBytes(cacheFile(), bad);
    LexiconLoad rebuilt = load();
    EXPECT_EQ(rebuilt.cacheUse, LexiconCacheUse::kSaved);
    EXPECT_EQ(cut(rebuilt.lexicon, "结婚的和尚未结婚的"), "结婚|的|和|尚未|结婚|的");
    EXPECT_EQ(testing::readFileBytes(cacheFile()), good);
  }
  EXPECT_EQ(warnings.str(), "");
}

// The bytes the first lexicon cache format gave a source: a header of its own (88 bytes: its
// magic, format 1, compile rules 1, byte order, path length, the list's size, time and hash,
// the word and node counts, the figures), the path, the trie's arrays and the checksum.
std::string firstFormatBytes(const LexiconSource& source, const CompiledLexicon& lexicon) {
  struct {
    char magic[8];
    uint32_t format, compileRules, byteOrder, pathLength;
    uint64_t size;
    int64_t modifiedNs;
    uint64_t hash, wordCount, nodeCount;
    double total, minLogProbability, maxLogProbability;
  } header = {{'N', 'C', 'L', 'E', 'X', 'I', 'C', 'N'},
              1, 1, 0x01020304, static_cast<uint32_t>(source.path.size()),
              source.size, source.modifiedNs, source.contentHash,
              lexicon.words.wordCount(), lexicon.words.nodeCount(),
              lexicon.total, lexicon.minLogProbability, lexicon.maxLogProbability};
  static_assert(sizeof header == 88);
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  bytes += source.path;
  for (std::span<const std::byte> array : lexicon.words.arrays()) {
    bytes.append(reinterpret_cast<const char*>(array.data()), array.size());
  }
  const uint64_t checksum = XXH3_64bits(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(&checksum), 8);
  return bytes;
}

TEST_F(LexiconCacheTest, ACacheOfTheFirstFormatIsRefusedAndRebuilt) {
  ASSERT_EQ(load().cacheUse, LexiconCacheUse::kSaved);
  const std::string good = testing::readFileBytes(cacheFile());
  LexiconSource source;
  ASSERT_TRUE(describeLexiconSource(lexiconPath, bytes, source));
  // A file the first format would have taken as the cache of this very list.
  testing::writeFileBytes(cacheFile(), firstFormatBytes(source, *compileLexicon(bytes)));
  std::string reason;
  EXPECT_EQ(loadLexiconCache(cacheFile(), source, &reason), nullptr);
  EXPECT_EQ(reason, "not a cache");
  LexiconLoad rebuilt = load();
  EXPECT_EQ(rebuilt.cacheUse, LexiconCacheUse::kSaved);
  expectSameBits(*rebuilt.lexicon, *compileLexicon(bytes));
  EXPECT_EQ(testing::readFileBytes(cacheFile()), good);
  EXPECT_EQ(warnings.str(), "");
}

TEST_F(LexiconCacheTest, EveryHeaderFieldChangedIsRefusedAndRebuilt) {
  ASSERT_EQ(load().cacheUse, LexiconCacheUse::kSaved);
  const std::string good = testing::readFileBytes(cacheFile());
  // Magic, frame format, byte order, kind, payload version, key length, payload length, the
  // key's size, time, hash and path, and the checksum.
  for (size_t at : {size_t{0}, size_t{8}, size_t{12}, size_t{16}, size_t{20}, size_t{24},
                    size_t{32}, size_t{40}, size_t{48}, size_t{56}, size_t{64}, good.size() - 8}) {
    std::string changed = good;
    changed[at] ^= 0x04;
    testing::writeFileBytes(cacheFile(), changed);
    LexiconLoad rebuilt = load();
    EXPECT_EQ(rebuilt.cacheUse, LexiconCacheUse::kSaved) << at;
    EXPECT_EQ(testing::readFileBytes(cacheFile()), good) << at;
    EXPECT_EQ(load().cacheUse, LexiconCacheUse::kLoaded) << at;
  }
  EXPECT_EQ(warnings.str(), "");
}

TEST_F(LexiconCacheTest, UnwritableFolderStillLoadsWithOneWarningLine) {
  // The folder's parent is a file, so the folder cannot be made (as root too).
  testing::writeFileBytes(dir.file("cache"), "");
  LexiconLoad loaded = load();
  EXPECT_EQ(loaded.cacheUse, LexiconCacheUse::kNotSaved);
  EXPECT_EQ(cut(loaded.lexicon, "研究生命起源"), "研究|生命|起源");
  EXPECT_EQ(warnings.str(), cacheFile() +
                                ": cannot create its folder: Not a directory; the lexicon cache "
                                "is not saved\n");
  // A folder where the cache file should be: neither read nor replaced.
  std::filesystem::remove(dir.file("cache"));
  std::filesystem::create_directories(cacheFile() + "/inside");
  warnings.str("");
  EXPECT_EQ(load().cacheUse, LexiconCacheUse::kNotSaved);
  const std::string warning = warnings.str();
  EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
  EXPECT_TRUE(warning.starts_with(cacheFile() + ": cannot replace with ")) << warning;
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(LexiconCacheTest, NoFolderOrAnEmptyListSavesNothing) {
  folder = "";
  LexiconLoad loaded = load();
  EXPECT_EQ(loaded.cacheUse, LexiconCacheUse::kOff);
  EXPECT_EQ(cut(loaded.lexicon, "研究生命起源"), "研究|生命|起源");
  folder = dir.file("cache");
  bytes = "no frequency\n";
  testing::writeFileBytes(lexiconPath, bytes);
  EXPECT_EQ(load().lexicon, nullptr);
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(warnings.str(), "");
}

TEST(LexiconCacheLocationTest, FolderFollowsTheEnvironment) {
  ScopedVariable home("HOME", "/home/someone");
  {
    ScopedVariable on("NEWSCLASS_LEXICON_CACHE", nullptr);
    ScopedVariable xdg("XDG_CACHE_HOME", "/var/cache/me");
    EXPECT_EQ(lexiconCacheFolder(), "/var/cache/me/newsclass");
  }
  {
    ScopedVariable on("NEWSCLASS_LEXICON_CACHE", "on");
    ScopedVariable relative("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(lexiconCacheFolder(), "/home/someone/.cache/newsclass");
    ScopedVariable empty("XDG_CACHE_HOME", "");
    EXPECT_EQ(lexiconCacheFolder(), "/home/someone/.cache/newsclass");
    ScopedVariable noHome("HOME", nullptr);
    EXPECT_EQ(lexiconCacheFolder(), "");
  }
  ScopedVariable xdg("XDG_CACHE_HOME", "/var/cache/me");
  ScopedVariable off("NEWSCLASS_LEXICON_CACHE", "off");
  EXPECT_EQ(lexiconCacheFolder(), "");
}

TEST(LexiconCacheLocationTest, FileNameAndSourceFollowTheAbsolutePath) {
  const std::string name = lexiconCacheFileName("/usr/share/dict.txt");
  EXPECT_EQ(name.size(), std::string("dict.txt-0123456789abcdef.lexicon").size());
  EXPECT_TRUE(name.starts_with("dict.txt-") && name.ends_with(".lexicon")) << name;
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 9), name.size() - 8) << name;
  EXPECT_NE(lexiconCacheFileName("/usr/share/other/dict.txt"), name);
  EXPECT_TRUE(lexiconCacheFileName("/x/a b+c.txt").starts_with("a_b_c.txt-"));
  EXPECT_TRUE(
      lexiconCacheFileName("/x/" + std::string(60, 'w')).starts_with(std::string(48, 'w') + "-"));

  // Relative and roundabout spellings of one file are one source.
  testing::TempDir dir;
  testing::writeFileBytes(dir.file("list.txt"), "a 1\n");
  std::filesystem::create_directory(dir.file("x"));
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  LexiconSource relative, roundabout;
  bool described = describeLexiconSource("list.txt", "a 1\n", relative) &&
                   describeLexiconSource(dir.path() + "/./x/../list.txt", "a 1\n", roundabout);
  std::filesystem::current_path(cwd);
  ASSERT_TRUE(described);
  EXPECT_EQ(relative.path,
            std::filesystem::path(dir.path()).lexically_normal().string() + "/list.txt");
  EXPECT_EQ(roundabout.path, relative.path);
  EXPECT_EQ(relative.size, 4u);
  EXPECT_EQ(relative.contentHash, XXH3_64bits("a 1\n", 4));
  const timespec when = modified(dir.file("list.txt"));
  EXPECT_EQ(relative.modifiedNs, int64_t{when.tv_sec} * 1000000000 + when.tv_nsec);
  LexiconSource folder;
  EXPECT_FALSE(describeLexiconSource(dir.path(), "", folder));
}

TEST(LexiconCacheSegmenterTest, StartUsesTheCacheOfTheEnvironmentSilently) {
  testing::TempDir dir;
  ScopedVariable xdg("XDG_CACHE_HOME", dir.file("xdg").c_str());
  ScopedVariable on("NEWSCLASS_LEXICON_CACHE", nullptr);
  // Bytes of their own, so that no lexicon kept by the process stands in for them.
  const std::string path = dir.file("lexicon.txt");
  testing::writeFileBytes(path, testing::readFileBytes(kTinyLexicon) + gbk("缓存测试 7\n"));
  std::ostringstream warnings;
  Segmenter segmenter;
  ASSERT_TRUE(segmenter.start(path, &warnings));
  EXPECT_EQ(warnings.str(), "");
  EXPECT_EQ(testing::segmentText(segmenter, gbk("缓存测试")), gbk("缓存测试"));
  const std::string cacheFile =
      dir.file("xdg/newsclass/") +
      lexiconCacheFileName(std::filesystem::path(path).lexically_normal().string());
  EXPECT_TRUE(std::filesystem::is_regular_file(cacheFile)) << cacheFile;
}

// The default lexicon, when installed: the cache restores its hundreds of thousands of words
// bit for bit and cuts a paragraph the same way.
TEST(LexiconCacheDefaultLexiconTest, RoundTripOfTheDefaultLexicon) {
  std::string bytes;
  if (!std::filesystem::exists(kDefaultLexiconPath)) GTEST_SKIP() << "no default lexicon";
  bytes = testing::readFileBytes(kDefaultLexiconPath);
  testing::TempDir dir;
  LexiconLoad saved = loadLexiconThroughCache(kDefaultLexiconPath, bytes, dir.path(), nullptr);
  ASSERT_EQ(saved.cacheUse, LexiconCacheUse::kSaved);
  LexiconLoad loaded = loadLexiconThroughCache(kDefaultLexiconPath, bytes, dir.path(), nullptr);
  ASSERT_EQ(loaded.cacheUse, LexiconCacheUse::kLoaded);
  expectSameBits(*saved.lexicon, *loaded.lexicon);
  const std::string text =
      "中国人民银行今天宣布下调金融机构存款准备金率，研究生命起源的科学家在南京市长江大桥附近"
      "召开新闻发布会，结婚的和尚未结婚的都应该参加。";
  const std::string words = cut(loaded.lexicon, text);
  EXPECT_EQ(words, cut(saved.lexicon, text));
  EXPECT_GT(std::count(words.begin(), words.end(), '|'), 20);
}

}  // namespace
}  // namespace newsclass
