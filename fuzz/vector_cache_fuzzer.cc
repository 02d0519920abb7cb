// The training-vector cache: any file in the cache folder is used only when its ids ascend and
// its every weight can be read inside the mapping, and otherwise set aside. Before loading, the
// target makes the bytes stand for the vector file their own key names and gives them a
// right checksum, so that the checks behind those two see the input.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "vsm/vector_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  std::string bytes(fuzz::asBytes(data, size));
  // The vector file this cache claims, from its key (base/cache_file.h): the key's length at
  // offset 24; the key from 40, the file's size, time, inode and device, then its path.
  VectorFileStamp stamp;
  const uint64_t keySize = fuzz::fieldAt<uint64_t>(bytes, 24);
  stamp.size = fuzz::fieldAt<uint64_t>(bytes, 40);
  stamp.modifiedNs = fuzz::fieldAt<int64_t>(bytes, 48);
  stamp.inode = fuzz::fieldAt<uint64_t>(bytes, 56);
  stamp.device = fuzz::fieldAt<uint64_t>(bytes, 64);
  if (keySize >= 32 && keySize <= bytes.size() && 40 + keySize <= bytes.size()) {
    stamp.path = bytes.substr(72, keySize - 32);
  }
  fuzz::writeChecksum(bytes);
  const std::string cacheFile = fuzz::writeScratchFile("training.vectors", bytes);
  std::string reason;
  const std::unique_ptr<MappedVectorModel> model = loadVectorCache(cacheFile, stamp, &reason);
  if (model == nullptr) {
    if (reason.empty()) fuzz::fail("a vector cache was set aside without a reason");
    fuzz::accepted();
    return 0;
  }
  const std::vector<int32_t>& ids = model->ids();
  for (size_t i = 1; i < ids.size(); ++i) {
    if (ids[i - 1] >= ids[i]) fuzz::fail("a vector cache with ids out of order was used");
  }
  for (const double* row : model->rows()) {
    for (size_t j = 0; j < model->dimension(); ++j) {
      if (!std::isfinite(row[j])) fuzz::fail("a vector cache with a weight that is not finite was used");
    }
  }
  fuzz::accepted();
  return 0;
}
