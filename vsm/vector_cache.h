// A binary copy of a vector file for the commands that start often and need the training vectors
// at once (predict): the weights exactly as loading the text gives them, laid out as one array
// that is mapped into memory instead of parsed. It lives in the user's cache folder
// ($XDG_CACHE_HOME/newsclass, by default ~/.cache/newsclass), one file per vector file, named
// after the vector file's absolute path, in the frame every cache has (base/cache_file.h).
// NEWSCLASS_VECTOR_CACHE=off turns it off (and no other cache).
//
// A cache stands for its vector file only while that file's absolute path, size, modification
// time (nanoseconds), inode and device, which make its key, are those it was saved with. The
// stages replace vector files by renaming a new file over them, which changes the inode, so a
// cache never outlives the file it copies; a file edited in place changes its modification
// time. A cache that is cut off or damaged fails its frame's checks (sizes, XXH3-64 checksum),
// and one whose payload holds what no vector file gives fails the payload's; neither is used.
#ifndef NEWSCLASS_VSM_VECTOR_CACHE_H_
#define NEWSCLASS_VSM_VECTOR_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/cache_file.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// What a cache must match to stand for a vector file.
struct VectorFileStamp {
  std::string path;  // absolute and lexically normal
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  uint64_t inode = 0;
  uint64_t device = 0;
};

// The stamp of the regular file at `path`; false when it cannot be examined.
bool stampVectorFile(const std::string& path, VectorFileStamp& stamp);

// The layout of the vector cache's payload.
inline constexpr uint32_t kVectorCachePayloadVersion = 1;

// The cache folder the environment asks for: "" when NEWSCLASS_VECTOR_CACHE is "off", else as
// cacheFolder (base/cache_location.h) gives it.
std::string vectorCacheFolder();

// The cache file for a vector file's absolute path inside `folder`: the vector file's base name
// (letters, digits, '.', '_' and '-' kept, others made '_', at most 48 characters), '-', 16 hex
// digits of the XXH3-64 of its absolute path, then ".vectors".
std::string vectorCacheFile(const std::string& folder, const std::string& absolutePath);

// A cache mapped read-only into memory: the ids in ascending order and one row of `dimension`
// weights per id, valid while the object lives.
class MappedVectorModel {
 public:
  MappedVectorModel(const MappedVectorModel&) = delete;
  MappedVectorModel& operator=(const MappedVectorModel&) = delete;

  size_t size() const { return ids_.size(); }
  size_t dimension() const { return dimension_; }
  const std::vector<int32_t>& ids() const { return ids_; }
  std::vector<const double*> rows() const;

 private:
  friend std::unique_ptr<MappedVectorModel> loadVectorCache(const std::string&,
                                                            const VectorFileStamp&, std::string*);
  MappedVectorModel() = default;
  std::unique_ptr<MappedCacheFile> file_;
  const double* weights_ = nullptr;
  size_t dimension_ = 0;
  std::vector<int32_t> ids_;
};

// The cache in `cacheFile` when it stands for `stamp`, else nullptr with `reason` (when given)
// saying why: missing, another kind of cache or another file or version of it, cut off,
// damaged, holding ids out of order or a weight that is not finite.
std::unique_ptr<MappedVectorModel> loadVectorCache(const std::string& cacheFile,
                                                   const VectorFileStamp& stamp,
                                                   std::string* reason = nullptr);

// Saves `model` (every vector of the same length) as the cache of the file `stamp` describes,
// atomically, creating the folder when missing. Throws DataFileError naming the cache file when
// it cannot.
void saveVectorCache(const std::string& cacheFile, const VectorFileStamp& stamp,
                     const VsmModel& model);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_VECTOR_CACHE_H_
