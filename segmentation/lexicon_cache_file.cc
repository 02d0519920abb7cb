// The lexicon cache file: a cache frame (base/cache_file.h) whose key is the word list's size,
// modification time, content hash and path, and whose payload is a fixed head followed by the
// trie's arrays as they lie in memory (docs/formats.md). Loading reads the arrays straight into
// the trie and trusts nothing it has not checked.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/cache_file.h"
#include "segmentation/lexicon_cache.h"

namespace newsclass {
namespace {

// The payload's head; the roots, nodes, units and values follow it.
struct PayloadHead {
  uint64_t compileRules;
  uint64_t wordCount;
  uint64_t nodeCount;  // the sentinel included
  double total;
  double minLogProbability;
  double maxLogProbability;
};
static_assert(sizeof(PayloadHead) == 48, "the head has no padding");

// Bytes of one node in each of the arrays after the roots: node, unit, value.
constexpr uint64_t kBytesPerNode = 8 + 2 + 8;
constexpr uint64_t kRootBytes = 65536 * 4;

// The key: what the cache must match to stand for a word list.
CacheIdentity identityOf(const LexiconSource& source) {
  const uint64_t fields[3] = {source.size, static_cast<uint64_t>(source.modifiedNs),
                              source.contentHash};
  std::string key(reinterpret_cast<const char*>(fields), sizeof fields);
  key += source.path;
  return {CacheKind::kLexicon, kLexiconCachePayloadVersion, std::move(key)};
}

// True when the words' values and the head's figures are ones compileLexicon could have given
// a restored trie: every word a plain frequency word (no forced user word) valued
// log(frequency / total), so finite and at most 0; every other node 0; a positive finite total;
// and the rarest and most frequent word's figures the least and greatest word values, as they
// are computed from the same frequencies. The checksum cannot tell a forged file from a saved
// one, and a NaN would reach every best-path sum.
bool valuesAsCompiled(const WordTrie& words, const PayloadHead& head) {
  if (!std::isfinite(head.total) || !(head.total > 0) || head.wordCount == 0) return false;
  double least = std::numeric_limits<double>::infinity();
  double greatest = -std::numeric_limits<double>::infinity();
  for (uint32_t node = 0; node < words.nodeCount(); ++node) {
    const double value = words.value(node);
    if (words.flags(node) == 0) {
      uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      if (bits != 0) return false;
      continue;
    }
    if (words.flags(node) != WordTrie::kWord || !std::isfinite(value) || value > 0) return false;
    least = std::min(least, value);
    greatest = std::max(greatest, value);
  }
  return std::memcmp(&least, &head.minLogProbability, sizeof least) == 0 &&
         std::memcmp(&greatest, &head.maxLogProbability, sizeof greatest) == 0;
}

// True when the head's counts fit the payload's size and the trie's index width.
bool sizesAddUp(const PayloadHead& head, uint64_t payloadSize) {
  return head.nodeCount != 0 && head.nodeCount <= UINT32_MAX && head.wordCount < head.nodeCount &&
         payloadSize == sizeof head + kRootBytes + head.nodeCount * kBytesPerNode;
}

std::shared_ptr<CompiledLexicon> rejected(std::string* reason, std::string why) {
  if (reason != nullptr) *reason = std::move(why);
  return nullptr;
}

}  // namespace

void saveLexiconCache(const std::string& cacheFile, const LexiconSource& source,
                      const CompiledLexicon& lexicon) {
  const PayloadHead head{kLexiconCompileRules,     lexicon.words.wordCount(),
                         lexicon.words.nodeCount(), lexicon.total,
                         lexicon.minLogProbability, lexicon.maxLogProbability};
  uint64_t payloadSize = sizeof head;
  for (std::span<const std::byte> array : lexicon.words.arrays()) payloadSize += array.size();
  writeCacheFile(cacheFile, identityOf(source), payloadSize, [&](CachePayloadWriter& out) {
    out.put(&head, sizeof head);
    for (std::span<const std::byte> array : lexicon.words.arrays()) {
      out.put(array.data(), array.size());
    }
  });
}

std::shared_ptr<CompiledLexicon> loadLexiconCache(const std::string& cacheFile,
                                                  const LexiconSource& source,
                                                  std::string* reason) {
  CacheFileReader file(cacheFile, identityOf(source));
  if (file.fault() == CacheFault::kOtherKey) return rejected(reason, "saved for another word list");
  PayloadHead head;
  if (file.fault() == CacheFault::kNone && file.payloadSize() < sizeof head) {
    return rejected(reason, "sizes do not add up");
  }
  if (!file.read({std::as_writable_bytes(std::span(&head, 1))})) {
    return rejected(reason, file.reason());
  }
  if (head.compileRules != kLexiconCompileRules) return rejected(reason, "other compile rules");
  if (!sizesAddUp(head, file.payloadSize())) return rejected(reason, "sizes do not add up");

  auto lexicon = std::make_shared<CompiledLexicon>();
  const std::array<std::span<std::byte>, 4> arrays =
      lexicon->words.prepareRestore(head.nodeCount, head.wordCount);
  if (!file.read(arrays) || !file.finish()) return rejected(reason, file.reason());
  if (!lexicon->words.restored()) return rejected(reason, "trie out of bounds");
  if (!valuesAsCompiled(lexicon->words, head)) return rejected(reason, "values out of range");
  lexicon->total = head.total;
  lexicon->minLogProbability = head.minLogProbability;
  lexicon->maxLogProbability = head.maxLogProbability;
  return lexicon;
}

}  // namespace newsclass
