// The lexicon cache file: a fixed header, the source's path, the trie's arrays as they lie in
// memory and a checksum of everything before it (docs/formats.md). Loading reads the arrays
// straight into the trie with one readv and trusts nothing it has not checked.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "base/atomic_file.h"
#include "segmentation/lexicon_cache.h"

namespace newsclass {
namespace {

constexpr char kMagic[8] = {'N', 'C', 'L', 'E', 'X', 'I', 'C', 'N'};
// Written in the machine's byte order: a file from a machine of the other order does not match.
constexpr uint32_t kByteOrderMark = 0x01020304;
// Longer paths are not cached (PATH_MAX on Linux).
constexpr uint32_t kMaxPathLength = 4096;

struct Header {
  char magic[8];
  uint32_t format;
  uint32_t compileRules;
  uint32_t byteOrder;
  uint32_t pathLength;
  uint64_t sourceSize;
  int64_t sourceModifiedNs;
  uint64_t sourceHash;
  uint64_t wordCount;
  uint64_t nodeCount;  // the sentinel included
  double total;
  double minLogProbability;
  double maxLogProbability;
};
static_assert(sizeof(Header) == 88, "the header has no padding");

// Bytes of one node in each of the arrays after the roots: node, unit, value.
constexpr uint64_t kBytesPerNode = 8 + 2 + 8;
constexpr uint64_t kRootBytes = 65536 * 4;

struct HashState {
  HashState() : state(XXH3_createState()) {
    if (state == nullptr) throw std::bad_alloc();
    XXH3_64bits_reset(state);
  }
  ~HashState() { XXH3_freeState(state); }
  HashState(const HashState&) = delete;
  HashState& operator=(const HashState&) = delete;
  void add(const void* data, size_t size) { XXH3_64bits_update(state, data, size); }
  uint64_t digest() const { return XXH3_64bits_digest(state); }
  XXH3_state_t* state;
};

// Reads exactly the bytes the buffers ask for; false on an error or an early end of file.
bool readFully(int fd, std::vector<iovec> buffers) {
  size_t first = 0;
  while (first < buffers.size()) {
    ssize_t got = ::readv(fd, buffers.data() + first, static_cast<int>(buffers.size() - first));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    size_t left = static_cast<size_t>(got);
    while (first < buffers.size() && left >= buffers[first].iov_len) {
      left -= buffers[first].iov_len;
      ++first;
    }
    if (left > 0) {
      buffers[first].iov_base = static_cast<char*>(buffers[first].iov_base) + left;
      buffers[first].iov_len -= left;
    }
  }
  return true;
}

// True when the words' values and the header's figures are ones compileLexicon could have given
// a restored trie: every word a plain frequency word (no forced user word) valued
// log(frequency / total), so finite and at most 0; every other node 0; a positive finite total;
// and the rarest and most frequent word's figures the least and greatest word values, as they
// are computed from the same frequencies. The checksum cannot tell a forged file from a saved
// one, and a NaN would reach every best-path sum.
bool valuesAsCompiled(const WordTrie& words, const Header& header) {
  if (!std::isfinite(header.total) || !(header.total > 0) || header.wordCount == 0) return false;
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
  return std::memcmp(&least, &header.minLogProbability, sizeof least) == 0 &&
         std::memcmp(&greatest, &header.maxLogProbability, sizeof greatest) == 0;
}

struct FileCloser {
  int fd;
  ~FileCloser() { ::close(fd); }
};

std::shared_ptr<CompiledLexicon> rejected(std::string* reason, std::string why) {
  if (reason != nullptr) *reason = std::move(why);
  return nullptr;
}

}  // namespace

void saveLexiconCache(const std::string& cacheFile, const LexiconSource& source,
                      const CompiledLexicon& lexicon) {
  Header header;
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  header.format = kLexiconCacheFormat;
  header.compileRules = kLexiconCompileRules;
  header.byteOrder = kByteOrderMark;
  header.pathLength = static_cast<uint32_t>(source.path.size());
  header.sourceSize = source.size;
  header.sourceModifiedNs = source.modifiedNs;
  header.sourceHash = source.contentHash;
  header.wordCount = lexicon.words.wordCount();
  header.nodeCount = lexicon.words.nodeCount();
  header.total = lexicon.total;
  header.minLogProbability = lexicon.minLogProbability;
  header.maxLogProbability = lexicon.maxLogProbability;
  writeFileAtomically(cacheFile, [&](std::ostream& out) {
    HashState hash;
    auto put = [&](const void* data, size_t size) {
      hash.add(data, size);
      out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    };
    put(&header, sizeof header);
    put(source.path.data(), source.path.size());
    for (std::span<const std::byte> array : lexicon.words.arrays()) put(array.data(), array.size());
    const uint64_t checksum = hash.digest();
    out.write(reinterpret_cast<const char*>(&checksum), sizeof checksum);
  });
}

std::shared_ptr<CompiledLexicon> loadLexiconCache(const std::string& cacheFile,
                                                  const LexiconSource& source,
                                                  std::string* reason) {
  const int fd = ::open(cacheFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return rejected(reason, std::string("cannot open: ") + std::strerror(errno));
  FileCloser closer{fd};
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    return rejected(reason, "not a regular file");
  }
  const uint64_t fileSize = static_cast<uint64_t>(status.st_size);
  Header header;
  if (fileSize < sizeof header || !readFully(fd, {iovec{&header, sizeof header}})) {
    return rejected(reason, "shorter than its header");
  }
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0) return rejected(reason, "not a cache");
  if (header.format != kLexiconCacheFormat || header.byteOrder != kByteOrderMark) {
    return rejected(reason, "another format");
  }
  if (header.compileRules != kLexiconCompileRules) return rejected(reason, "other compile rules");
  if (header.sourceSize != source.size || header.sourceModifiedNs != source.modifiedNs ||
      header.sourceHash != source.contentHash || header.pathLength != source.path.size()) {
    return rejected(reason, "saved for another word list");
  }
  if (header.pathLength > kMaxPathLength || header.nodeCount == 0 ||
      header.nodeCount > UINT32_MAX || header.wordCount >= header.nodeCount ||
      fileSize != sizeof header + header.pathLength + kRootBytes +
                      header.nodeCount * kBytesPerNode + sizeof(uint64_t)) {
    return rejected(reason, "sizes do not add up");
  }

  auto lexicon = std::make_shared<CompiledLexicon>();
  std::string path(header.pathLength, '\0');
  uint64_t checksum = 0;
  std::vector<iovec> buffers{iovec{path.data(), path.size()}};
  for (std::span<std::byte> array :
       lexicon->words.prepareRestore(header.nodeCount, header.wordCount)) {
    buffers.push_back(iovec{array.data(), array.size()});
  }
  buffers.push_back(iovec{&checksum, sizeof checksum});
  if (!readFully(fd, buffers)) return rejected(reason, "cut off");
  if (path != source.path) return rejected(reason, "saved for another word list");

  HashState hash;
  hash.add(&header, sizeof header);
  hash.add(path.data(), path.size());
  for (std::span<const std::byte> array : lexicon->words.arrays()) {
    hash.add(array.data(), array.size());
  }
  if (hash.digest() != checksum) return rejected(reason, "checksum mismatch");
  if (!lexicon->words.restored()) return rejected(reason, "trie out of bounds");
  if (!valuesAsCompiled(lexicon->words, header)) return rejected(reason, "values out of range");
  lexicon->total = header.total;
  lexicon->minLogProbability = header.minLogProbability;
  lexicon->maxLogProbability = header.maxLogProbability;
  return lexicon;
}

}  // namespace newsclass
