#include "base/cache_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <ostream>
#include <vector>

#include "base/atomic_file.h"
#include "base/errors.h"

namespace newsclass {
namespace {

constexpr char kMagic[8] = {'N', 'C', 'C', 'A', 'C', 'H', 'E', '\0'};
// Written in the machine's byte order: a file from a machine of the other order does not match.
constexpr uint32_t kByteOrderMark = 0x01020304;

struct Header {
  char magic[8];
  uint32_t frameFormat;
  uint32_t byteOrder;
  uint32_t kind;
  uint32_t payloadVersion;
  uint64_t keySize;
  uint64_t payloadSize;
};
static_assert(sizeof(Header) == kCacheHeaderSize, "the header has no padding");

// A running XXH3-64 of the bytes added to it.
class Xxh3Stream {
 public:
  Xxh3Stream() : state_(XXH3_createState()) {
    if (state_ == nullptr) throw std::bad_alloc();
    XXH3_64bits_reset(state_);
  }
  ~Xxh3Stream() { XXH3_freeState(state_); }
  Xxh3Stream(const Xxh3Stream&) = delete;
  Xxh3Stream& operator=(const Xxh3Stream&) = delete;
  void add(const void* data, size_t size) { XXH3_64bits_update(state_, data, size); }
  uint64_t digest() const { return XXH3_64bits_digest(state_); }

 private:
  XXH3_state_t* state_;
};

// Puts every byte into the stream and into its checksum, counting them.
class StreamPayloadWriter : public CachePayloadWriter {
 public:
  explicit StreamPayloadWriter(std::ostream& out) : out_(out) {}
  void put(const void* data, size_t size) override {
    hash_.add(data, size);
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    written_ += size;
  }
  uint64_t written() const { return written_; }
  uint64_t digest() const { return hash_.digest(); }

 private:
  std::ostream& out_;
  Xxh3Stream hash_;
  uint64_t written_ = 0;
};

// Reads exactly the bytes the buffers ask for; false on an error or an early end of file.
bool readFully(int fd, std::vector<iovec> buffers) {
  size_t first = 0;
  while (first < buffers.size() && buffers[first].iov_len == 0) ++first;
  while (first < buffers.size()) {
    const ssize_t got =
        ::readv(fd, buffers.data() + first, static_cast<int>(buffers.size() - first));
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

// Checks a header read from a file of `fileSize` bytes against what the reader expects; the key
// itself is checked by checkKey.
CacheFault checkHeader(const Header& header, uint64_t fileSize, const CacheIdentity& expected) {
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0) return CacheFault::kNotACache;
  if (header.frameFormat != kCacheFrameFormat || header.byteOrder != kByteOrderMark) {
    return CacheFault::kOtherFormat;
  }
  if (header.kind != static_cast<uint32_t>(expected.kind)) return CacheFault::kOtherKind;
  if (header.payloadVersion != expected.payloadVersion) return CacheFault::kOtherVersion;
  // Once the key's length is the expected one, no length of the header can overflow a sum.
  if (header.keySize != expected.key.size()) return CacheFault::kOtherKey;
  const uint64_t framing = cachePayloadOffset(header.keySize) + sizeof(uint64_t);
  if (fileSize < framing || header.payloadSize != fileSize - framing) {
    return CacheFault::kSizes;
  }
  return CacheFault::kNone;
}

// Checks the key and its padding, `keySize` bytes padded to 8 at `bytes`.
CacheFault checkKey(const char* bytes, const CacheIdentity& expected) {
  const size_t keySize = expected.key.size();
  if (std::memcmp(bytes, expected.key.data(), keySize) != 0) return CacheFault::kOtherKey;
  for (size_t i = keySize; i < cachePayloadOffset(keySize) - kCacheHeaderSize; ++i) {
    if (bytes[i] != 0) return CacheFault::kDamaged;
  }
  return CacheFault::kNone;
}

std::string reasonOf(CacheFault fault, int openError) {
  std::string text = cacheFaultText(fault);
  if (fault == CacheFault::kCannotOpen) text += std::string(": ") + std::strerror(openError);
  return text;
}

}  // namespace

std::string cacheFaultText(CacheFault fault) {
  switch (fault) {
    case CacheFault::kNone: return "";
    case CacheFault::kCannotOpen: return "cannot open";
    case CacheFault::kNotRegular: return "not a regular file";
    case CacheFault::kShort: return "shorter than its header";
    case CacheFault::kNotACache: return "not a cache";
    case CacheFault::kOtherFormat: return "another format";
    case CacheFault::kOtherKind: return "another kind of cache";
    case CacheFault::kOtherVersion: return "another payload version";
    case CacheFault::kOtherKey: return "saved for another source";
    case CacheFault::kSizes: return "sizes do not add up";
    case CacheFault::kDamaged: return "damaged";
    case CacheFault::kCutOff: return "cut off";
    case CacheFault::kChecksum: return "checksum mismatch";
    case CacheFault::kCannotMap: return "cannot be mapped";
  }
  return "unknown fault";
}

void CachePayloadWriter::padTo8(uint64_t size) {
  static const char kZeros[8] = {};
  put(kZeros, static_cast<size_t>((8 - size % 8) % 8));
}

void writeCacheFile(const std::string& path, const CacheIdentity& identity, uint64_t payloadSize,
                    const std::function<void(CachePayloadWriter&)>& writePayload) {
  writeFileAtomically(path, [&](std::ostream& out) {
    writeCacheFrame(out, path, identity, payloadSize, writePayload);
  });
}

bool startsWithCacheMagic(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char magic[sizeof kMagic];
  const ssize_t got = ::read(fd, magic, sizeof magic);
  ::close(fd);
  return got == static_cast<ssize_t>(sizeof magic) && std::memcmp(magic, kMagic, sizeof kMagic) == 0;
}

void writeCacheFrame(std::ostream& out, const std::string& path, const CacheIdentity& identity,
                     uint64_t payloadSize,
                     const std::function<void(CachePayloadWriter&)>& writePayload) {
  Header header{};
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  header.frameFormat = kCacheFrameFormat;
  header.byteOrder = kByteOrderMark;
  header.kind = static_cast<uint32_t>(identity.kind);
  header.payloadVersion = identity.payloadVersion;
  header.keySize = identity.key.size();
  header.payloadSize = payloadSize;
  {
    StreamPayloadWriter writer(out);
    writer.put(&header, sizeof header);
    writer.put(identity.key.data(), identity.key.size());
    writer.padTo8(identity.key.size());
    const uint64_t payloadStart = writer.written();
    writePayload(writer);
    if (writer.written() - payloadStart != payloadSize) {
      throw DataFileError(path + ": the payload holds " +
                          std::to_string(writer.written() - payloadStart) + " bytes, not the " +
                          std::to_string(payloadSize) + " of its header");
    }
    const uint64_t checksum = writer.digest();
    out.write(reinterpret_cast<const char*>(&checksum), sizeof checksum);
  }
}

struct CacheFileReader::Hash : Xxh3Stream {};

CacheFileReader::CacheFileReader(const std::string& path, const CacheIdentity& expected)
    : hash_(std::make_unique<Hash>()) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    openError_ = errno;
    fail(CacheFault::kCannotOpen);
    return;
  }
  struct stat status {};
  if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
    fail(CacheFault::kNotRegular);
    return;
  }
  const uint64_t fileSize = static_cast<uint64_t>(status.st_size);
  Header header;
  if (fileSize < sizeof header) {
    fail(CacheFault::kShort);
    return;
  }
  if (!readFully(fd_, {iovec{&header, sizeof header}})) {
    fail(CacheFault::kCutOff);
    return;
  }
  if (CacheFault fault = checkHeader(header, fileSize, expected); fault != CacheFault::kNone) {
    fail(fault);
    return;
  }
  std::string key(cachePayloadOffset(header.keySize) - kCacheHeaderSize, '\0');
  if (!readFully(fd_, {iovec{key.data(), key.size()}})) {
    fail(CacheFault::kCutOff);
    return;
  }
  if (CacheFault fault = checkKey(key.data(), expected); fault != CacheFault::kNone) {
    fail(fault);
    return;
  }
  hash_->add(&header, sizeof header);
  hash_->add(key.data(), key.size());
  payloadSize_ = payloadLeft_ = header.payloadSize;
}

CacheFileReader::~CacheFileReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::string CacheFileReader::reason() const { return reasonOf(fault_, openError_); }

bool CacheFileReader::fail(CacheFault fault) {
  fault_ = fault;
  return false;
}

bool CacheFileReader::read(std::initializer_list<std::span<std::byte>> buffers) {
  return read(std::span<const std::span<std::byte>>(buffers.begin(), buffers.size()));
}

bool CacheFileReader::read(std::span<const std::span<std::byte>> buffers) {
  if (fault_ != CacheFault::kNone) return false;
  uint64_t total = 0;
  std::vector<iovec> vectors;
  vectors.reserve(buffers.size());
  for (std::span<std::byte> buffer : buffers) {
    total += buffer.size();
    vectors.push_back(iovec{buffer.data(), buffer.size()});
  }
  if (total > payloadLeft_) return fail(CacheFault::kSizes);
  if (!readFully(fd_, std::move(vectors))) return fail(CacheFault::kCutOff);
  for (std::span<std::byte> buffer : buffers) hash_->add(buffer.data(), buffer.size());
  payloadLeft_ -= total;
  return true;
}

bool CacheFileReader::finish() {
  if (fault_ != CacheFault::kNone) return false;
  if (payloadLeft_ != 0) return fail(CacheFault::kSizes);
  uint64_t checksum = 0;
  if (!readFully(fd_, {iovec{&checksum, sizeof checksum}})) return fail(CacheFault::kCutOff);
  if (checksum != hash_->digest()) return fail(CacheFault::kChecksum);
  return true;
}

MappedCacheFile::MappedCacheFile(const std::string& path, const CacheIdentity& expected) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    openError_ = errno;
    fault_ = CacheFault::kCannotOpen;
    return;
  }
  struct stat status {};
  const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  const uint64_t fileSize = regular ? static_cast<uint64_t>(status.st_size) : 0;
  if (regular && fileSize >= kCacheHeaderSize) {
    mapping_ = ::mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  }
  ::close(fd);
  if (!regular) {
    fault_ = CacheFault::kNotRegular;
  } else if (fileSize < kCacheHeaderSize) {
    fault_ = CacheFault::kShort;
  } else if (mapping_ == MAP_FAILED) {
    mapping_ = nullptr;
    fault_ = CacheFault::kCannotMap;
  }
  if (fault_ != CacheFault::kNone) return;
  mappedBytes_ = fileSize;
  const char* bytes = static_cast<const char*>(mapping_);
  Header header;
  std::memcpy(&header, bytes, sizeof header);
  fault_ = checkHeader(header, fileSize, expected);
  if (fault_ == CacheFault::kNone) fault_ = checkKey(bytes + kCacheHeaderSize, expected);
  if (fault_ != CacheFault::kNone) return;
  uint64_t checksum;
  std::memcpy(&checksum, bytes + fileSize - sizeof checksum, sizeof checksum);
  if (XXH3_64bits(bytes, fileSize - sizeof checksum) != checksum) {
    fault_ = CacheFault::kChecksum;
    return;
  }
  payload_ = bytes + cachePayloadOffset(header.keySize);
  payloadSize_ = header.payloadSize;
}

MappedCacheFile::~MappedCacheFile() {
  if (mapping_ != nullptr) ::munmap(mapping_, mappedBytes_);
}

std::string MappedCacheFile::reason() const { return reasonOf(fault_, openError_); }

}  // namespace newsclass
