// The frame every binary cache of this program is kept in. A cache is a copy of something
// derived from a source file (a word list compiled into a trie, a vector file parsed into an
// array), saved so that a start reads or maps arrays instead of parsing text. The frame holds a
// header (magic, frame format, byte order, the kind of cache, the version of its payload, the
// lengths of the key and of the payload), the key (what the cache was made from: a description
// of its source that changes whenever the source does), the payload, and the XXH3-64 of every
// byte before it. A reader trusts the payload's bytes only when every field of the header is
// the one it expects, the sizes add up to the file's and the checksum matches; each kind of
// cache then checks its own payload's values, which the checksum cannot vouch for (a forged file
// may carry a right checksum). Files are written whole through writeFileAtomically. The byte
// layout is written down in docs/formats.md.
#ifndef NEWSCLASS_BASE_CACHE_FILE_H_
#define NEWSCLASS_BASE_CACHE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>

namespace newsclass {

inline constexpr uint32_t kCacheFrameFormat = 1;
// Bytes of the header; the key follows it, padded with zeros to a multiple of 8 bytes, so that
// the payload starts 8-byte aligned in a mapping.
inline constexpr size_t kCacheHeaderSize = 40;

// The kinds of cache; a file of one kind is never read as another.
enum class CacheKind : uint32_t {
  kLexicon = 1,
  kTrainingVectors = 2,
  // Not a cache: a data folder's vector file in its binary form (vsm/binary_vector_file.h).
  kVectorFile = 3,
};

// What a reader expects of a cache file, and what a writer records in it.
struct CacheIdentity {
  CacheKind kind;
  uint32_t payloadVersion;  // the layout and meaning of the payload, per kind
  std::string key;          // what the cache was made from, compared byte for byte
};

// Why a cache file cannot serve; cacheFaultText gives the words.
enum class CacheFault {
  kNone,
  kCannotOpen,    // "cannot open: <the system's reason>"
  kNotRegular,    // "not a regular file"
  kShort,         // "shorter than its header"
  kNotACache,     // "not a cache": another magic
  kOtherFormat,   // "another format": another frame format or byte order
  kOtherKind,     // "another kind of cache"
  kOtherVersion,  // "another payload version"
  kOtherKey,      // "saved for another source"
  kSizes,         // "sizes do not add up": the header's lengths are not the file's
  kDamaged,       // "damaged": nonzero padding after the key
  kCutOff,        // "cut off": the file ended before the header's sizes (it shrank meanwhile)
  kChecksum,      // "checksum mismatch"
  kCannotMap,     // "cannot be mapped"
};
std::string cacheFaultText(CacheFault fault);

// The offset of the payload in a file whose key holds `keySize` bytes.
constexpr uint64_t cachePayloadOffset(uint64_t keySize) {
  return kCacheHeaderSize + (keySize + 7) / 8 * 8;
}

// Where a payload is written: every byte goes to the file and into its checksum.
class CachePayloadWriter {
 public:
  virtual ~CachePayloadWriter() = default;
  virtual void put(const void* data, size_t size) = 0;
  // Zero bytes up to the next multiple of 8 after `size` bytes.
  void padTo8(uint64_t size);
};

// Writes `path` as a cache of `identity` whose payload is the `payloadSize` bytes that
// `writePayload` puts, atomically (writeFileAtomically: the folder is made when missing). Throws
// DataFileError naming `path` when the file cannot be written, or when `writePayload` put
// another number of bytes than `payloadSize`.
void writeCacheFile(const std::string& path, const CacheIdentity& identity, uint64_t payloadSize,
                    const std::function<void(CachePayloadWriter&)>& writePayload);

// The same frame written to `out` (the caller makes the file atomic, alone or in a group);
// `path` names the file in errors.
void writeCacheFrame(std::ostream& out, const std::string& path, const CacheIdentity& identity,
                     uint64_t payloadSize,
                     const std::function<void(CachePayloadWriter&)>& writePayload);

// Whether the file at `path` begins with the frame's magic bytes (false when it cannot be read).
bool startsWithCacheMagic(const std::string& path);

// Reads a cache file from its start: the constructor opens it and checks the header, the key and
// the sizes against `expected`; the payload is then read in order with read(), and finish()
// checks that it was read whole and that the checksum matches. Nothing read is to be trusted
// before finish() returned true.
class CacheFileReader {
 public:
  CacheFileReader(const std::string& path, const CacheIdentity& expected);
  ~CacheFileReader();
  CacheFileReader(const CacheFileReader&) = delete;
  CacheFileReader& operator=(const CacheFileReader&) = delete;

  // kNone while the file may serve; once set, every further call fails.
  CacheFault fault() const { return fault_; }
  // The words of fault(), with the system's reason for kCannotOpen.
  std::string reason() const;
  // The payload's size, as the header gives it (and the file bears out).
  uint64_t payloadSize() const { return payloadSize_; }

  // Fills `buffers`, in order, with the next payload bytes. False, with fault() kSizes when the
  // buffers hold more than what is left of the payload, kCutOff when the file ends first.
  bool read(std::initializer_list<std::span<std::byte>> buffers);
  bool read(std::span<const std::span<std::byte>> buffers);
  // True when the whole payload was read and the checksum is that of every byte before it; else
  // false with fault() kSizes (payload left unread), kCutOff or kChecksum.
  bool finish();

 private:
  bool fail(CacheFault fault);

  int fd_ = -1;
  CacheFault fault_ = CacheFault::kNone;
  int openError_ = 0;
  uint64_t payloadSize_ = 0;
  uint64_t payloadLeft_ = 0;
  struct Hash;
  std::unique_ptr<Hash> hash_;
};

// A cache file mapped read-only into memory and checked whole (header, key, sizes, checksum)
// against `expected`; the payload stays valid and 8-byte aligned while the object lives.
class MappedCacheFile {
 public:
  MappedCacheFile(const std::string& path, const CacheIdentity& expected);
  ~MappedCacheFile();
  MappedCacheFile(const MappedCacheFile&) = delete;
  MappedCacheFile& operator=(const MappedCacheFile&) = delete;

  CacheFault fault() const { return fault_; }
  std::string reason() const;
  // The payload's bytes; empty unless fault() is kNone.
  const char* payload() const { return payload_; }
  uint64_t payloadSize() const { return payloadSize_; }

 private:
  void* mapping_ = nullptr;
  size_t mappedBytes_ = 0;
  CacheFault fault_ = CacheFault::kNone;
  int openError_ = 0;
  const char* payload_ = nullptr;
  uint64_t payloadSize_ = 0;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_CACHE_FILE_H_
