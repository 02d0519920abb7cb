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

#include <ostream>
#include <string>

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
