// The vector files in binary form (--vector-format binary): the same records as the text form,
// each weight the four-byte code of its six-digit decimal (vsm/weight_code.h), so that loading
// gives the doubles loading the text gives, bit for bit, in a fraction of the time and room.
// The file is a frame of the caches' kind (base/cache_file.h: magic, sizes, XXH3-64 checksum)
// of kind kVectorFile; its payload:
//
//   u64 vectors, u64 stored codes, u32 layout (0 dense, 1 sparse), u32 0, u64 record bytes,
//   then the records, then zeros to a multiple of 8 bytes. A record:
//     varint zigzag(id - previous id; the first from 0), varint weight count, then
//     dense:  a u32 code per weight;
//     sparse: varint number of stored weights, then per stored weight the varint gap to it
//             (its position minus the previous stored position minus 1, the first from 0) and
//             its u32 code; weights not stored are +0.
//
// Numbers are little-endian, varints LEB128. A writer stores sparsely when fewer than half the
// weights are other than +0 (--weighting tfidf), densely otherwise (the default weighting).
#ifndef NEWSCLASS_VSM_BINARY_VECTOR_FILE_H_
#define NEWSCLASS_VSM_BINARY_VECTOR_FILE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "vsm/vsm_model.h"

namespace newsclass::vsm {

// Writes `model` in binary form to `out`, encoding on `threads` threads (the bytes do not depend
// on their number); `path` names the file in errors. DataFileError for a weight that is not a
// finite number, which the binary form cannot hold.
void writeBinaryVectors(const VsmModel& model, int threads, const std::string& path,
                        std::ostream& out);
// The same, replacing every weight of `model` by the value the file gives back as it goes: the
// pass that rounds a model as written (vsm/written_weights.h) and the pass that saves it, in one.
void writeAndRoundBinaryVectors(VsmModel& model, int threads, const std::string& path,
                                std::ostream& out);

// A model's records written in shares of consecutive ids (the ranks of a distributed run): each
// share is encoded on its own, in the layout the counts of the whole model choose and with its
// first id counted from the last id of the shares before it, and the file is the header the
// whole model's counts give followed by every share's records in order: the bytes
// writeBinaryVectors writes for the whole model.
struct BinaryShareCounts {
  uint64_t vectors = 0;
  uint64_t weights = 0;
  uint64_t stored = 0;  // weights other than +0
  int32_t lastId = 0;   // of the share's last vector; meaningful when it has one
};
BinaryShareCounts binaryShareCounts(const VsmModel& share);
// The layout a model of that many weights, `storedWeights` of them other than +0, is written in.
uint32_t binaryLayoutOf(uint64_t weights, uint64_t storedWeights);
using RecordSink = std::function<void(const char* data, size_t size)>;
// The records of `share` in `layout`, its first id counted from `previousId` (0 for the first
// share): their size is known once it is made, and encodeAndRound() then hands their bytes to
// a sink in order, replacing every weight of `share` by the value the file gives back as it
// goes; DataFileError naming `path` for a weight that is not a finite number. `share` must
// outlive the encoder unchanged but for that rounding.
class BinaryShareEncoder {
 public:
  BinaryShareEncoder(VsmModel& share, uint32_t layout, int64_t previousId, int threads);
  ~BinaryShareEncoder();
  uint64_t bytes() const;
  void encodeAndRound(const std::string& path, const RecordSink& put) const;

 private:
  struct Plan;
  std::unique_ptr<Plan> plan_;
  uint32_t layout_;
  int threads_;
};
// Writes the frame of a model whose counts are `whole`: the header, then `putRecords` hands the
// records' bytes (exactly `recordBytes`) to the sink it is given, in order.
void writeBinaryVectorFrame(std::ostream& out, const std::string& path,
                            const BinaryShareCounts& whole, uint32_t layout, uint64_t recordBytes,
                            const std::function<void(const RecordSink& put)>& putRecords);

// Whether the file at `path` is in binary form (begins as a frame does).
bool isBinaryVectorFile(const std::string& path);

// The vectors of the binary file at `path`, mapped and checked whole before any is decoded on
// `threads` threads. DataFileError naming the file when its frame is not sound ("checksum
// mismatch", "cut off", ...), and naming the record (and its article) when a record is not one
// a writer makes: ids out of order, a count beyond the file, a position beyond its vector, a
// code that is no weight, bytes left over.
VsmModel readBinaryVectors(const std::string& path, int threads);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_BINARY_VECTOR_FILE_H_
