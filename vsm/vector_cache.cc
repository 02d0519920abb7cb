#include "vsm/vector_cache.h"

#include <sys/stat.h>

#include <cstring>

#include "base/cache_location.h"
#include "base/errors.h"

namespace newsclass {
namespace {

// The payload, native byte order: the number of vectors and of weights per vector (uint64
// each), the ids (int32, ascending) padded with zeros to 8 bytes, the weights row by row.
struct PayloadHead {
  uint64_t count;
  uint64_t dimension;
};
static_assert(sizeof(PayloadHead) == 16);

constexpr uint64_t padded8(uint64_t bytes) { return (bytes + 7) / 8 * 8; }

// The key: what the cache must match to stand for a vector file.
CacheIdentity identityOf(const VectorFileStamp& stamp) {
  const uint64_t fields[4] = {stamp.size, static_cast<uint64_t>(stamp.modifiedNs), stamp.inode,
                              stamp.device};
  std::string key(reinterpret_cast<const char*>(fields), sizeof fields);
  key += stamp.path;
  return {CacheKind::kTrainingVectors, kVectorCachePayloadVersion, std::move(key)};
}

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

// Bytes of a payload of `count` rows of `dimension` weights, or 0 when that does not fit 64
// bits.
uint64_t payloadBytes(uint64_t count, uint64_t dimension) {
  if (count > (uint64_t{1} << 40) || dimension > (uint64_t{1} << 40) ||
      (dimension != 0 && count > (uint64_t{1} << 60) / dimension)) {
    return 0;
  }
  return sizeof(PayloadHead) + padded8(count * 4) + count * dimension * 8;
}

}  // namespace

bool stampVectorFile(const std::string& path, VectorFileStamp& stamp) {
  struct stat status {};
  if (!examineCacheSource(path, status, stamp.path)) return false;
  stamp.size = static_cast<uint64_t>(status.st_size);
  stamp.modifiedNs = modifiedNanoseconds(status);
  stamp.inode = static_cast<uint64_t>(status.st_ino);
  stamp.device = static_cast<uint64_t>(status.st_dev);
  return true;
}

std::string vectorCacheFolder() { return cacheFolder("NEWSCLASS_VECTOR_CACHE"); }

std::string vectorCacheFile(const std::string& folder, const std::string& absolutePath) {
  return folder + "/" + cacheFileName(absolutePath, ".vectors");
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
  auto file = std::make_unique<MappedCacheFile>(cacheFile, identityOf(stamp));
  if (file->fault() == CacheFault::kOtherKey) return fail("saved for another version of the file");
  if (file->fault() != CacheFault::kNone) return fail(file->reason());
  PayloadHead head{};
  if (file->payloadSize() >= sizeof head) std::memcpy(&head, file->payload(), sizeof head);
  if (payloadBytes(head.count, head.dimension) != file->payloadSize()) {
    return fail("sizes do not add up");
  }

  // The checksum only shows the bytes are those saved with it; a file forged with a correct
  // checksum must still hold nothing the text loader could not have produced: ids ascending and
  // distinct, finite weights, and zeros wherever saving writes them.
  const char* ids = file->payload() + sizeof head;
  const char* weights = ids + padded8(head.count * 4);
  if (!allZero(ids + head.count * 4, padded8(head.count * 4) - head.count * 4)) {
    return fail("damaged");
  }
  std::unique_ptr<MappedVectorModel> model(new MappedVectorModel());
  model->ids_.resize(head.count);
  if (head.count > 0) std::memcpy(model->ids_.data(), ids, head.count * 4);
  for (size_t i = 1; i < model->ids_.size(); ++i) {
    if (model->ids_[i] <= model->ids_[i - 1]) return fail("damaged");
  }
  if (!allFinite(weights, head.count * head.dimension)) {
    return fail("holds a weight that is not a finite number");
  }
  model->weights_ = reinterpret_cast<const double*>(weights);
  model->dimension_ = head.dimension;
  model->file_ = std::move(file);
  return model;
}

void saveVectorCache(const std::string& cacheFile, const VectorFileStamp& stamp,
                     const VsmModel& model) {
  const PayloadHead head{model.size(), model.empty() ? 0 : model.begin()->second.size()};
  std::vector<int32_t> ids;
  ids.reserve(model.size());
  for (const auto& [id, vector] : model) {
    if (vector.size() != head.dimension) {
      throw DataFileError(cacheFile + ": vectors of different lengths cannot be cached");
    }
    ids.push_back(id);
  }
  writeCacheFile(cacheFile, identityOf(stamp), payloadBytes(head.count, head.dimension),
                 [&](CachePayloadWriter& out) {
                   out.put(&head, sizeof head);
                   out.put(ids.data(), ids.size() * 4);
                   out.padTo8(ids.size() * 4);
                   for (const auto& entry : model) {
                     out.put(entry.second.data(), entry.second.size() * 8);
                   }
                 });
}

}  // namespace newsclass
