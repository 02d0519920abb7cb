#include "vsm/binary_vector_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/cache_file.h"
#include "base/errors.h"
#include "base/parallel.h"
#include "base/text_file_reader.h"
#include "vsm/weight_code.h"

namespace newsclass::vsm {
namespace {

constexpr uint32_t kPayloadVersion = 1;
constexpr uint32_t kDense = 0;
constexpr uint32_t kSparse = 1;
constexpr uint64_t kHeaderBytes = 32;
// The most weights a file may expand to per byte of its payload (see the first pass).
constexpr uint64_t kMaxWeightsPerByte = 4096;
// Records per batch when several threads encode or decode.
constexpr size_t kBatchWeights = 1 << 18;

CacheIdentity vectorFileIdentity() {
  return {CacheKind::kVectorFile, kPayloadVersion, "newsclass vector file"};
}

size_t varintSize(uint64_t value) {
  size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

char* putVarint(char* out, uint64_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
  return out;
}

char* putCode(char* out, uint32_t code) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(code), static_cast<unsigned char>(code >> 8),
                                  static_cast<unsigned char>(code >> 16),
                                  static_cast<unsigned char>(code >> 24)};
  std::memcpy(out, bytes, 4);
  return out + 4;
}

uint64_t zigzag(int64_t value) {
  return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

// Whether a weight is stored in the sparse layout: every weight but +0.
bool stored(double weight) { return weight != 0.0 || std::signbit(weight); }

using ModelIterator = VsmModel::const_iterator;

struct Record {
  int32_t id;
  const WeightVector* weights;
  int64_t previousId;
};

// The bytes of one record in `layout`.
uint64_t recordSize(const Record& record, uint32_t layout) {
  const WeightVector& weights = *record.weights;
  uint64_t size = varintSize(zigzag(record.id - record.previousId)) + varintSize(weights.size());
  if (layout == kDense) return size + 4 * weights.size();
  uint64_t count = 0;
  int64_t previous = -1;
  for (size_t i = 0; i < weights.size(); ++i) {
    if (!stored(weights[i])) continue;
    size += varintSize(static_cast<uint64_t>(static_cast<int64_t>(i) - previous - 1)) + 4;
    previous = static_cast<int64_t>(i);
    ++count;
  }
  return size + varintSize(count);
}

// Encodes one record at `out` (recordSize bytes); DataFileError for a weight the form cannot hold.
char* encodeRecord(const Record& record, uint32_t layout, const std::string& path,
                   CachedWeightEncoder& encoder, WeightVector* rounded, char* out) {
  const WeightVector& weights = *record.weights;
  out = putVarint(out, zigzag(record.id - record.previousId));
  out = putVarint(out, weights.size());
  auto code = [&](size_t i) {
    const std::optional<CachedWeightEncoder::Coded> encoded = encoder.encode(weights[i]);
    if (!encoded) {
      throw DataFileError(path + ": article " + std::to_string(record.id) + ": weight " +
                          std::to_string(i + 1) + " is not a finite number");
    }
    // The weight becomes what the file gives back (a weight not stored is +0 and stays so).
    if (rounded != nullptr) (*rounded)[i] = encoded->weight;
    return encoded->code;
  };
  if (layout == kDense) {
    for (size_t i = 0; i < weights.size(); ++i) out = putCode(out, code(i));
    return out;
  }
  out = putVarint(out, static_cast<uint64_t>(std::count_if(weights.begin(), weights.end(), stored)));
  int64_t previous = -1;
  for (size_t i = 0; i < weights.size(); ++i) {
    if (!stored(weights[i])) continue;
    out = putVarint(out, static_cast<uint64_t>(static_cast<int64_t>(i) - previous - 1));
    out = putCode(out, code(i));
    previous = static_cast<int64_t>(i);
  }
  return out;
}

// Batches [begin, end) of `count` records of about kBatchWeights weights, record i weighing
// weightsOf(i) + 1.
template <typename WeightsOf>
std::vector<std::pair<size_t, size_t>> batchesOf(size_t count, WeightsOf weightsOf) {
  std::vector<std::pair<size_t, size_t>> batches;
  size_t weights = 0, begin = 0;
  for (size_t i = 0; i < count; ++i) {
    weights += static_cast<size_t>(weightsOf(i)) + 1;
    if (i + 1 == count || weights >= kBatchWeights) {
      batches.emplace_back(begin, i + 1);
      begin = i + 1;
      weights = 0;
    }
  }
  return batches;
}

}  // namespace

namespace {

// The records of a model (or of a share of one) in a layout, cut into batches, with the bytes
// of each batch.
struct EncodingPlan {
  std::vector<Record> records;
  std::vector<WeightVector*> targets;  // the weights to round, when rounding
  std::vector<std::pair<size_t, size_t>> batches;
  std::vector<uint64_t> batchBytes;
  uint64_t recordBytes = 0;
};

EncodingPlan planEncoding(const VsmModel& model, VsmModel* rounding, uint32_t layout,
                          int64_t previousId, int threads) {
  EncodingPlan plan;
  plan.records.reserve(model.size());
  if (rounding != nullptr) {
    for (auto& entry : *rounding) plan.targets.push_back(&entry.second);
  }
  for (const auto& [id, weights] : model) {
    plan.records.push_back({id, &weights, previousId});
    previousId = id;
  }
  plan.batches =
      batchesOf(plan.records.size(), [&](size_t i) { return plan.records[i].weights->size(); });
  plan.batchBytes.assign(plan.batches.size(), 0);
  runInParallel(threads, plan.batches.size(), [&](size_t batch, size_t) {
    for (size_t i = plan.batches[batch].first; i < plan.batches[batch].second; ++i) {
      plan.batchBytes[batch] += recordSize(plan.records[i], layout);
    }
  });
  for (uint64_t bytes : plan.batchBytes) plan.recordBytes += bytes;
  return plan;
}

// Encodes the plan's records in rounds of one batch per thread, side by side, and hands each
// batch's bytes to `put` in order.
void encodePlan(const EncodingPlan& plan, uint32_t layout, int threads, const std::string& path,
                const std::function<void(const char*, size_t)>& put) {
  const size_t lanes = static_cast<size_t>(std::max(1, threads));
  std::vector<std::unique_ptr<char[]>> buffers(lanes);
  std::vector<std::unique_ptr<CachedWeightEncoder>> encoders;
  for (size_t lane = 0; lane < lanes; ++lane) encoders.push_back(std::make_unique<CachedWeightEncoder>());
  std::vector<size_t> capacities(lanes, 0);
  const bool rounding = !plan.targets.empty();
  for (size_t first = 0; first < plan.batches.size(); first += lanes) {
    const size_t count = std::min(lanes, plan.batches.size() - first);
    runInParallel(threads, count, [&](size_t task, size_t lane) {
      const size_t batch = first + task;
      if (capacities[task] < plan.batchBytes[batch]) {
        buffers[task] = std::make_unique_for_overwrite<char[]>(plan.batchBytes[batch]);
        capacities[task] = plan.batchBytes[batch];
      }
      char* p = buffers[task].get();
      for (size_t i = plan.batches[batch].first; i < plan.batches[batch].second; ++i) {
        p = encodeRecord(plan.records[i], layout, path, *encoders[lane],
                         rounding ? plan.targets[i] : nullptr, p);
      }
    });
    for (size_t task = 0; task < count; ++task) {
      put(buffers[task].get(), plan.batchBytes[first + task]);
    }
  }
}

void writeRecords(const VsmModel& model, VsmModel* rounding, int threads, const std::string& path,
                  std::ostream& out) {
  const BinaryShareCounts counts = binaryShareCounts(model);
  const uint32_t layout = binaryLayoutOf(counts.weights, counts.stored);
  const EncodingPlan plan = planEncoding(model, rounding, layout, 0, threads);
  writeBinaryVectorFrame(out, path, counts, layout, plan.recordBytes,
                         [&](const std::function<void(const char*, size_t)>& put) {
                           encodePlan(plan, layout, threads, path, put);
                         });
}

}  // namespace

BinaryShareCounts binaryShareCounts(const VsmModel& share) {
  BinaryShareCounts counts;
  for (const auto& [id, weights] : share) {
    ++counts.vectors;
    counts.weights += weights.size();
    counts.stored += static_cast<uint64_t>(std::count_if(weights.begin(), weights.end(), stored));
    counts.lastId = id;
  }
  return counts;
}

uint32_t binaryLayoutOf(uint64_t weights, uint64_t storedWeights) {
  return storedWeights * 2 < weights ? kSparse : kDense;
}

struct BinaryShareEncoder::Plan : EncodingPlan {};

BinaryShareEncoder::BinaryShareEncoder(VsmModel& share, uint32_t layout, int64_t previousId,
                                       int threads)
    : plan_(std::make_unique<Plan>(Plan{planEncoding(share, &share, layout, previousId, threads)})),
      layout_(layout),
      threads_(threads) {}

BinaryShareEncoder::~BinaryShareEncoder() = default;

uint64_t BinaryShareEncoder::bytes() const { return plan_->recordBytes; }

void BinaryShareEncoder::encodeAndRound(const std::string& path, const RecordSink& put) const {
  encodePlan(*plan_, layout_, threads_, path, put);
}

void writeBinaryVectorFrame(std::ostream& out, const std::string& path,
                            const BinaryShareCounts& whole, uint32_t layout, uint64_t recordBytes,
                            const std::function<void(const RecordSink& put)>& putRecords) {
  const uint64_t codes = layout == kSparse ? whole.stored : whole.weights;
  const uint64_t payloadSize = kHeaderBytes + (recordBytes + 7) / 8 * 8;
  writeCacheFrame(out, path, vectorFileIdentity(), payloadSize, [&](CachePayloadWriter& writer) {
    const uint64_t header[4] = {whole.vectors, codes, layout, recordBytes};
    // u32 layout and u32 0 share the third word (little-endian).
    writer.put(header, sizeof header);
    putRecords([&](const char* data, size_t size) { writer.put(data, size); });
    writer.padTo8(recordBytes);
  });
}

void writeBinaryVectors(const VsmModel& model, int threads, const std::string& path,
                        std::ostream& out) {
  writeRecords(model, nullptr, threads, path, out);
}

void writeAndRoundBinaryVectors(VsmModel& model, int threads, const std::string& path,
                                std::ostream& out) {
  writeRecords(model, &model, threads, path, out);
}

bool isBinaryVectorFile(const std::string& path) { return startsWithCacheMagic(path); }

namespace {

// Reads the records of a mapped payload, checking every number against what is left of it.
class RecordScanner {
 public:
  RecordScanner(const char* begin, const char* end) : p_(begin), end_(end) {}

  bool atEnd() const { return p_ == end_; }
  const char* position() const { return p_; }
  void skip(uint64_t bytes) { p_ += bytes; }
  uint64_t left() const { return static_cast<uint64_t>(end_ - p_); }

  // A varint; nothing when it runs past the end or beyond 64 bits.
  std::optional<uint64_t> varint() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64 && p_ < end_; shift += 7) {
      const auto byte = static_cast<unsigned char>(*p_++);
      if (shift == 63 && byte > 1) return std::nullopt;
      value |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return value;
    }
    return std::nullopt;
  }

 private:
  const char* p_;
  const char* end_;
};

uint32_t codeAt(const char* p) {
  unsigned char bytes[4];
  std::memcpy(bytes, p, 4);
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Where one record's weights are, found by the first pass.
struct Located {
  int32_t id;
  uint64_t weightCount;
  uint64_t storedCount;  // sparse: the stored weights; dense: weightCount
  const char* codes;     // dense: the codes; sparse: the (gap, code) entries
  uint64_t record;       // 1-based, for errors
};

}  // namespace

VsmModel readBinaryVectors(const std::string& path, int threads) {
  const MappedCacheFile file(path, vectorFileIdentity());
  if (file.fault() != CacheFault::kNone) {
    throw fileError(path, "not a sound binary vector file: " + file.reason());
  }
  const char* payload = file.payload();
  const uint64_t payloadSize = file.payloadSize();
  if (payloadSize < kHeaderBytes) throw fileError(path, "the vector header is cut off");
  uint64_t header[4];
  std::memcpy(header, payload, sizeof header);
  const uint64_t vectorCount = header[0], codeCount = header[1], recordBytes = header[3];
  const uint32_t layout = static_cast<uint32_t>(header[2]);
  if ((header[2] >> 32) != 0 || (layout != kDense && layout != kSparse)) {
    throw fileError(path, "unknown vector layout " + std::to_string(header[2]));
  }
  if (recordBytes > payloadSize - kHeaderBytes ||
      payloadSize - kHeaderBytes - recordBytes >= 8) {
    throw fileError(path, "the record bytes (" + std::to_string(recordBytes) +
                              ") do not fill the payload");
  }
  const char* recordsEnd = payload + kHeaderBytes + recordBytes;
  for (const char* p = recordsEnd; p < payload + payloadSize; ++p) {
    if (*p != 0) throw fileError(path, "nonzero padding after the records");
  }

  // First pass, in order: ids, counts and where each record's codes lie.
  RecordScanner scanner(payload + kHeaderBytes, recordsEnd);
  std::vector<Located> located;
  located.reserve(static_cast<size_t>(std::min<uint64_t>(vectorCount, recordBytes / 2 + 1)));
  int64_t previousId = 0;
  uint64_t codesSeen = 0, weightsSeen = 0;
  for (uint64_t record = 1; !scanner.atEnd(); ++record) {
    auto fail = [&](const std::string& what) { return recordError(path, record, what); };
    const std::optional<uint64_t> delta = scanner.varint();
    if (!delta) throw fail("the article id is cut off");
    // Zigzag: even deltas step up, odd ones down. No id step exceeds 2^32.
    const uint64_t step = *delta >> 1;
    if (step > (uint64_t{1} << 32)) throw fail("the article id step " + std::to_string(step) + " is out of range");
    const int64_t id = previousId + ((*delta & 1) != 0 ? -static_cast<int64_t>(step) - 1
                                                       : static_cast<int64_t>(step));
    if (id < INT32_MIN || id > INT32_MAX || (record > 1 && id <= previousId)) {
      throw fail("article id " + std::to_string(id) + " does not follow " +
                 std::to_string(previousId) + " in ascending order");
    }
    previousId = id;
    auto failArticle = [&](const std::string& what) {
      return recordError(path, record, "article " + std::to_string(id), what);
    };
    const std::optional<uint64_t> weightCount = scanner.varint();
    if (!weightCount) throw failArticle("the number of weights is cut off");
    Located entry{static_cast<int32_t>(id), *weightCount, *weightCount, nullptr, record};
    if (layout == kDense) {
      if (*weightCount > scanner.left() / 4) {
        throw failArticle(std::to_string(*weightCount) + " weights announced, the file holds fewer");
      }
      entry.codes = scanner.position();
      scanner.skip(4 * *weightCount);
    } else {
      const std::optional<uint64_t> storedCount = scanner.varint();
      if (!storedCount) throw failArticle("the number of stored weights is cut off");
      if (*storedCount > *weightCount || *storedCount > scanner.left() / 5) {
        throw failArticle(std::to_string(*storedCount) + " stored weights announced for " +
                          std::to_string(*weightCount) + " weights");
      }
      entry.storedCount = *storedCount;
      entry.codes = scanner.position();
      uint64_t position = 0;
      for (uint64_t k = 0; k < *storedCount; ++k) {
        const std::optional<uint64_t> gap = scanner.varint();
        if (!gap || scanner.left() < 4) throw failArticle("stored weight " + std::to_string(k + 1) + " is cut off");
        if (*gap >= *weightCount - position) {
          throw failArticle("stored weight " + std::to_string(k + 1) + " lies beyond its " +
                            std::to_string(*weightCount) + " weights");
        }
        position += *gap + 1;
        scanner.skip(4);
      }
    }
    // A sparse record's weights not stored cost no bytes, so a forged count could ask for more
    // memory than any machine has; what the stages write stays far below this many weights a
    // byte of the file (a headline of 5 stored weights among 100,000 keywords: 3,000).
    weightsSeen += entry.weightCount;
    if (weightsSeen > kMaxWeightsPerByte * (payloadSize + 4096)) {
      throw failArticle("the vectors would hold more than " + std::to_string(kMaxWeightsPerByte) +
                        " weights a byte of the file");
    }
    codesSeen += entry.storedCount;
    located.push_back(entry);
  }
  if (located.size() != vectorCount || codesSeen != codeCount) {
    throw fileError(path, "the header announces " + std::to_string(vectorCount) + " vectors and " +
                              std::to_string(codeCount) + " weights, the records hold " +
                              std::to_string(located.size()) + " and " + std::to_string(codesSeen));
  }

  // Second pass, side by side: the weights. The lowest failing record is the one reported.
  std::vector<WeightVector> vectors(located.size());
  const auto batches =
      batchesOf(located.size(), [&](size_t i) { return located[i].storedCount; });
  runInParallel(threads, batches.size(), [&](size_t batch, size_t) {
    for (size_t i = batches[batch].first; i < batches[batch].second; ++i) {
      const Located& entry = located[i];
      WeightVector& weights = vectors[i];
      weights.assign(static_cast<size_t>(entry.weightCount), 0.0);
      auto decode = [&](const char* at, uint64_t position) {
        const uint32_t code = codeAt(at);
        const std::optional<double> weight = decodeWeight(code);
        if (!weight) {
          char hex[16];
          std::snprintf(hex, sizeof hex, "%08x", code);
          throw recordError(path, entry.record, "article " + std::to_string(entry.id),
                            "weight " + std::to_string(position + 1) + ": code " + hex +
                                " is no weight");
        }
        weights[static_cast<size_t>(position)] = *weight;
      };
      if (layout == kDense) {
        for (uint64_t k = 0; k < entry.weightCount; ++k) decode(entry.codes + 4 * k, k);
        continue;
      }
      RecordScanner entries(entry.codes, recordsEnd);
      uint64_t position = 0;
      for (uint64_t k = 0; k < entry.storedCount; ++k) {
        position += *entries.varint() + (k == 0 ? 0 : 1);
        decode(entries.position(), position);
        entries.skip(4);
      }
    }
  });
  VsmModel model;
  for (size_t i = 0; i < located.size(); ++i) {
    model.insert_or_assign(model.end(), located[i].id, std::move(vectors[i]));
  }
  return model;
}

}  // namespace newsclass::vsm
