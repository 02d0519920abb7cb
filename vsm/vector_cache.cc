#include "vsm/vector_cache.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "segmentation/lexicon_cache.h"

namespace newsclass {
namespace {

// Layout, native byte order: magic, format, the stamp, counts, the path padded to 8 bytes, the
// ids padded to 8 bytes, the weights row by row, and the XXH3-64 of everything before it.
constexpr char kMagic[8] = {'N', 'C', 'V', 'E', 'C', 'T', 'O', 'R'};
constexpr uint32_t kFormat = 1;

struct Header {
  char magic[8];
  uint32_t format;
  uint32_t reserved;
  uint64_t size;
  int64_t modifiedNs;
  uint64_t inode;
  uint64_t device;
  uint64_t count;
  uint64_t dimension;
  uint64_t pathLength;
};
static_assert(sizeof(Header) == 72);

constexpr uint64_t padded8(uint64_t bytes) { return (bytes + 7) / 8 * 8; }

// True when the `size` bytes at `data` are all zero.
bool allZero(const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != 0) return false;
  }
  return true;
}

// True when none of the `count` doubles at `data` is infinite or NaN: the text loader refuses
// such weights, so a cache holding one was not saved by this program. Tested on the bits (an
// all-ones exponent), which compiles to a tight loop over the mapping.
bool allFinite(const char* data, uint64_t count) {
  constexpr uint64_t kExponent = 0x7ff0000000000000;
  uint64_t special = 0;
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t bits;
    std::memcpy(&bits, data + i * 8, 8);
    special |= static_cast<uint64_t>((bits & kExponent) == kExponent);
  }
  return special == 0;
}

// Bytes of a cache of `count` rows of `dimension` weights and a path of `pathLength` bytes, or
// 0 when that does not fit 64 bits.
uint64_t cacheBytes(uint64_t count, uint64_t dimension, uint64_t pathLength) {
  if (count > (uint64_t{1} << 40) || dimension > (uint64_t{1} << 40) ||
      pathLength > (uint64_t{1} << 20) || (dimension != 0 && count > (uint64_t{1} << 60) / dimension)) {
    return 0;
  }
  return sizeof(Header) + padded8(pathLength) + padded8(count * 4) + count * dimension * 8 + 8;
}

}  // namespace

bool stampVectorFile(const std::string& path, VectorFileStamp& stamp) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return false;
  stamp.path = absolute.lexically_normal().string();
  stamp.size = static_cast<uint64_t>(status.st_size);
  stamp.modifiedNs = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  stamp.inode = static_cast<uint64_t>(status.st_ino);
  stamp.device = static_cast<uint64_t>(status.st_dev);
  return true;
}

std::string vectorCacheFile(const std::string& folder, const std::string& absolutePath) {
  std::string name = lexiconCacheFileName(absolutePath);
  name.replace(name.rfind(".lexicon"), std::string::npos, ".vectors");
  return folder + "/" + name;
}

MappedVectorModel::~MappedVectorModel() {
  if (mapping_ != nullptr) ::munmap(mapping_, mappedBytes_);
}

std::vector<const double*> MappedVectorModel::rows() const {
  std::vector<const double*> rows(ids_.size());
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = weights_ + i * dimension_;
  return rows;
}

std::unique_ptr<MappedVectorModel> loadVectorCache(const std::string& cacheFile,
                                                   const VectorFileStamp& stamp,
                                                   std::string* reason) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<MappedVectorModel> {
    if (reason != nullptr) *reason = why;
    return nullptr;
  };
  const int fd = ::open(cacheFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail("no cache");
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
      static_cast<uint64_t>(status.st_size) < sizeof(Header) + 8) {
    ::close(fd);
    return fail("cut off");
  }
  const size_t bytes = static_cast<size_t>(status.st_size);
  void* mapping = ::mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  ::close(fd);
  if (mapping == MAP_FAILED) return fail("cannot be mapped");
  std::unique_ptr<MappedVectorModel> model(new MappedVectorModel());
  model->mapping_ = mapping;
  model->mappedBytes_ = bytes;
  const char* base = static_cast<const char*>(mapping);
  Header header;
  std::memcpy(&header, base, sizeof header);
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.format != kFormat) {
    return fail("another format");
  }
  if (header.size != stamp.size || header.modifiedNs != stamp.modifiedNs ||
      header.inode != stamp.inode || header.device != stamp.device ||
      header.pathLength != stamp.path.size()) {
    return fail("saved for another version of the file");
  }
  if (cacheBytes(header.count, header.dimension, header.pathLength) != bytes) {
    return fail("cut off");
  }
  if (std::memcmp(base + sizeof(Header), stamp.path.data(), stamp.path.size()) != 0) {
    return fail("saved for another file");
  }
  uint64_t checksum;
  std::memcpy(&checksum, base + bytes - 8, 8);
  if (XXH3_64bits(base, bytes - 8) != checksum) return fail("damaged");

  // The checksum only shows the bytes are those saved with it; a file forged with a correct
  // checksum must still hold nothing the text loader could not have produced: ids ascending and
  // distinct, finite weights, and zeros wherever saving writes them.
  const char* ids = base + sizeof(Header) + padded8(header.pathLength);
  const char* weights = ids + padded8(header.count * 4);
  if (header.reserved != 0 ||
      !allZero(base + sizeof(Header) + header.pathLength,
               padded8(header.pathLength) - header.pathLength) ||
      !allZero(ids + header.count * 4, padded8(header.count * 4) - header.count * 4)) {
    return fail("damaged");
  }
  model->ids_.resize(header.count);
  if (header.count > 0) std::memcpy(model->ids_.data(), ids, header.count * 4);
  for (size_t i = 1; i < model->ids_.size(); ++i) {
    if (model->ids_[i] <= model->ids_[i - 1]) return fail("damaged");
  }
  if (!allFinite(weights, header.count * header.dimension)) {
    return fail("holds a weight that is not a finite number");
  }
  model->weights_ = reinterpret_cast<const double*>(weights);
  model->dimension_ = header.dimension;
  return model;
}

void saveVectorCache(const std::string& cacheFile, const VectorFileStamp& stamp,
                     const VsmModel& model) {
  Header header{};
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  header.format = kFormat;
  header.size = stamp.size;
  header.modifiedNs = stamp.modifiedNs;
  header.inode = stamp.inode;
  header.device = stamp.device;
  header.count = model.size();
  header.dimension = model.empty() ? 0 : model.begin()->second.size();
  header.pathLength = stamp.path.size();
  for (const auto& [id, vector] : model) {
    if (vector.size() != header.dimension) {
      throw DataFileError(cacheFile + ": vectors of different lengths cannot be cached");
    }
  }
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(cacheFile).parent_path(), error);
  if (error) throw DataFileError(cacheFile + ": cannot create its folder: " + error.message());

  writeFileAtomically(cacheFile, [&](std::ostream& out) {
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    auto put = [&](const void* data, size_t size) {
      XXH3_64bits_update(state, data, size);
      out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    };
    const char zeros[8] = {};
    put(&header, sizeof header);
    put(stamp.path.data(), stamp.path.size());
    put(zeros, padded8(stamp.path.size()) - stamp.path.size());
    for (const auto& entry : model) put(&entry.first, 4);
    put(zeros, padded8(model.size() * 4) - model.size() * 4);
    for (const auto& entry : model) put(entry.second.data(), entry.second.size() * 8);
    const uint64_t checksum = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    out.write(reinterpret_cast<const char*>(&checksum), 8);
  });
}

}  // namespace newsclass
