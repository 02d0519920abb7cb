// The binary vector files: the doubles the text form gives, a few bytes a weight, the same bytes
// for any thread count, and every damaged or forged file refused by name and record.
#include "vsm/binary_vector_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/cache_file.h"
#include "base/errors.h"
#include "testing/test_support.h"
#include "vsm/vector_file.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::writeFileBytes;

// Bit-for-bit equality, so that -0 and 0 differ.
void expectSameBits(const VsmModel& a, const VsmModel& b) {
  ASSERT_EQ(a.size(), b.size());
  for (auto x = a.begin(), y = b.begin(); x != a.end(); ++x, ++y) {
    ASSERT_EQ(x->first, y->first);
    ASSERT_EQ(x->second.size(), y->second.size()) << x->first;
    for (size_t i = 0; i < x->second.size(); ++i) {
      ASSERT_EQ(std::bit_cast<uint64_t>(x->second[i]), std::bit_cast<uint64_t>(y->second[i]))
          << "article " << x->first << " weight " << i;
    }
  }
}

// Unit vectors of `dimension` weights: every weight set (the default weighting) or a few
// (tfidf).
VsmModel randomModel(unsigned seed, size_t vectors, size_t dimension, size_t present) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> weight(0.0, 1.0);
  VsmModel model;
  int32_t id = -static_cast<int32_t>(vectors / 3);
  for (size_t v = 0; v < vectors; ++v) {
    id += 1 + static_cast<int32_t>(random() % 4);
    WeightVector weights(dimension, 0.0);
    double squares = 0.0;
    for (size_t k = 0; k < std::min(present, dimension); ++k) {
      const size_t at = present >= dimension ? k : random() % dimension;
      weights[at] = weight(random) * std::pow(10.0, -static_cast<int>(random() % 8));
      squares += weights[at] * weights[at];
    }
    for (double& w : weights) w /= squares > 0 ? std::sqrt(squares) : 1.0;
    model.emplace(id, std::move(weights));
  }
  return model;
}

class BinaryVectorFileTest : public ::testing::Test {
 protected:
  std::string saved(const VsmModel& model, VectorFormat format, int threads = 2) {
    env.environment.threads = threads;
    const std::string path = env.dir.file(format == VectorFormat::kBinary ? "v.bin" : "v.txt");
    if (format == VectorFormat::kText) {
      processor.saveVsm(model, path);
    } else {
      saveVsm(env.environment, model, path, VectorFormat::kBinary);
    }
    return path;
  }
  VsmModel loaded(const std::string& path) {
    VsmModel model;
    processor.loadVsm(model, path);
    return model;
  }
  // The refusal loading `bytes` gives, with the model left as it was.
  std::string refusal(const std::string& bytes) {
    const std::string path = env.dir.file("forged.bin");
    writeFileBytes(path, bytes);
    VsmModel model = {{99, {0.5}}};
    try {
      processor.loadVsm(model, path);
    } catch (const DataFileError& error) {
      EXPECT_EQ(model, (VsmModel{{99, {0.5}}}));
      const std::string text = error.what();
      return text.substr(0, path.size()) == path ? text.substr(path.size()) : text;
    }
    return "accepted";
  }
  // A frame holding `payload` as its payload, as a writer would frame it.
  static std::string framed(const std::string& payload) {
    std::ostringstream out;
    writeCacheFrame(out, "forged", {CacheKind::kVectorFile, 1, "newsclass vector file"},
                    payload.size(), [&](CachePayloadWriter& writer) {
                      writer.put(payload.data(), payload.size());
                    });
    return out.str();
  }
  // The payload header and `records`, padded.
  static std::string payload(uint64_t vectors, uint64_t codes, uint64_t layout,
                             const std::string& records) {
    std::string bytes(32, '\0');
    const uint64_t header[4] = {vectors, codes, layout, records.size()};
    std::memcpy(bytes.data(), header, 32);
    bytes += records;
    bytes.append((8 - records.size() % 8) % 8, '\0');
    return bytes;
  }
  static std::string code(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

  testing::TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 6000);
};

TEST_F(BinaryVectorFileTest, LoadsTheDoublesTheTextGivesInFewBytesAWeight) {
  struct Case {
    const char* name;
    VsmModel model;
    size_t stored;  // weights other than +0
  };
  std::vector<Case> cases;
  cases.push_back({"dense: every weight", randomModel(1, 300, 200, 200), 300 * 200});
  cases.push_back({"sparse: a few weights", randomModel(2, 3000, 1000, 6), 0});
  cases.push_back({"edges", {{-7, {0.0, -0.0, -0.25, 1234567.0, 5e-324}}, {4, {}}, {5, {0.0, 0.0}}}, 4});
  cases.push_back({"empty", {}, 0});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.stored == 0) {
      for (const auto& [id, weights] : c.model) {
        for (double w : weights) c.stored += w != 0.0 || std::signbit(w);
      }
    }
    const VsmModel fromText = loaded(saved(c.model, VectorFormat::kText));
    const std::string binary = saved(c.model, VectorFormat::kBinary);
    ASSERT_TRUE(vsm::isBinaryVectorFile(binary));
    expectSameBits(loaded(binary), fromText);
    // Rewriting what was read gives the same bytes.
    const std::string bytes = readFileBytes(binary);
    saveVsm(env.environment, fromText, binary, VectorFormat::kBinary);
    EXPECT_EQ(readFileBytes(binary), bytes);
    if (c.stored >= 1000) {
      // The frame (about 100 bytes) aside, at most 8 bytes a stored weight.
      EXPECT_LE(static_cast<double>(bytes.size() - 100) / static_cast<double>(c.stored), 8.0)
          << bytes.size() << " bytes for " << c.stored << " weights";
    }
  }
}

TEST_F(BinaryVectorFileTest, TheBytesDoNotDependOnTheThreadCount) {
  const VsmModel model = randomModel(3, 2000, 400, 20);
  const std::string one = readFileBytes(saved(model, VectorFormat::kBinary, 1));
  EXPECT_EQ(readFileBytes(saved(model, VectorFormat::kBinary, 3)), one);
  EXPECT_EQ(readFileBytes(saved(model, VectorFormat::kBinary, 8)), one);
  env.environment.threads = 3;
  expectSameBits(loaded(saved(model, VectorFormat::kBinary, 1)), loaded(saved(model, VectorFormat::kText)));
}

// The file of a model written in shares of consecutive ids (some empty), each encoded on its
// own, is the file of the whole, in both layouts.
TEST_F(BinaryVectorFileTest, AModelWrittenInSharesIsTheFileOfTheWhole) {
  for (size_t present : {size_t{400}, size_t{20}}) {
    const VsmModel model = randomModel(5, 900, 400, present);
    std::ostringstream whole;
    vsm::writeBinaryVectors(model, 2, "whole", whole);
    for (std::vector<size_t> sizes : {std::vector<size_t>{900}, std::vector<size_t>{0, 450, 450},
                                      std::vector<size_t>{1, 300, 0, 599}}) {
      std::vector<VsmModel> shares(sizes.size());
      auto it = model.begin();
      for (size_t s = 0; s < sizes.size(); ++s) {
        for (size_t i = 0; i < sizes[s]; ++i, ++it) shares[s].insert(*it);
      }
      vsm::BinaryShareCounts counts;
      for (const VsmModel& share : shares) {
        const vsm::BinaryShareCounts c = vsm::binaryShareCounts(share);
        counts.vectors += c.vectors;
        counts.weights += c.weights;
        counts.stored += c.stored;
      }
      const uint32_t layout = vsm::binaryLayoutOf(counts.weights, counts.stored);
      std::vector<std::unique_ptr<vsm::BinaryShareEncoder>> encoders;
      uint64_t bytes = 0;
      int64_t previousId = 0;
      for (VsmModel& share : shares) {
        encoders.push_back(std::make_unique<vsm::BinaryShareEncoder>(share, layout, previousId, 3));
        bytes += encoders.back()->bytes();
        if (!share.empty()) previousId = share.rbegin()->first;
      }
      std::ostringstream pieced;
      vsm::writeBinaryVectorFrame(pieced, "share", counts, layout, bytes,
                                  [&](const vsm::RecordSink& put) {
        for (const auto& encoder : encoders) encoder->encodeAndRound("share", put);
      });
      EXPECT_EQ(pieced.str(), whole.str()) << "present " << present << ", " << sizes.size()
                                           << " shares";
      // Each share now holds the weights the file gives back.
      VsmModel rounded;
      for (const VsmModel& share : shares) rounded.insert(share.begin(), share.end());
      VsmModel fromWhole = model;
      std::ostringstream ignored;
      vsm::writeAndRoundBinaryVectors(fromWhole, 1, "whole", ignored);
      expectSameBits(rounded, fromWhole);
    }
  }
}

TEST_F(BinaryVectorFileTest, DamagedFilesAreRefusedByNameAndNothingIsLoaded) {
  const std::string good = readFileBytes(saved(randomModel(4, 20, 10, 10), VectorFormat::kBinary));
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x10;
  EXPECT_EQ(refusal(flipped), ": not a sound binary vector file: checksum mismatch");
  EXPECT_EQ(refusal(good.substr(0, good.size() - 9)),
            ": not a sound binary vector file: sizes do not add up");
  EXPECT_EQ(refusal(good.substr(0, 20)), ": not a sound binary vector file: shorter than its header");
}

TEST_F(BinaryVectorFileTest, ForgedRecordsWithARightChecksumAreRefusedNamingTheirRecord) {
  const std::string half = code((1024u - 1) << 20 | 5);  // 0.5
  // Article 3 with two dense weights, then article 2: out of order.
  EXPECT_EQ(refusal(framed(payload(2, 4, 0, "\x06\x02" + half + half + "\x01\x02" + half + half))),
            ": record 2: article id 2 does not follow 3 in ascending order");
  EXPECT_EQ(refusal(framed(payload(1, 2, 0, "\x06\x02" + half + code(1024u << 20 | 1000000)))),
            ": record 1 (article 3): weight 2: code 400f4240 is no weight");
  EXPECT_EQ(refusal(framed(payload(1, 9, 0, "\x06\x09" + half))),
            ": record 1 (article 3): 9 weights announced, the file holds fewer");
  // Sparse: the second stored weight's gap puts it past the vector's 3 weights.
  EXPECT_EQ(refusal(framed(payload(1, 2, 1, "\x06\x03\x02\x01" + half + "\x01" + half))),
            ": record 1 (article 3): stored weight 2 lies beyond its 3 weights");
  EXPECT_EQ(refusal(framed(payload(2, 2, 0, "\x06\x02" + half + half))),
            ": the header announces 2 vectors and 2 weights, the records hold 1 and 2");
  EXPECT_EQ(refusal(framed(payload(1, 1, 2, "\x06\x01" + half))), ": unknown vector layout 2");
  std::string padded = payload(1, 1, 0, "\x06\x01" + half);
  padded.back() = 1;
  EXPECT_EQ(refusal(framed(padded)), ": nonzero padding after the records");
  // A sparse record may leave its weights out, but not ask for more memory than any file of
  // this size could mean: 2^40 weights with none stored.
  EXPECT_EQ(refusal(framed(payload(1, 0, 1, "\x06\x80\x80\x80\x80\x80\x80\x40" + std::string(1, '\0')))),
            ": record 1 (article 3): the vectors would hold more than 4096 weights a byte of the file");
  // A sound forged file loads: the sparse record gives 0.5 at positions 1 and 2.
  const std::string path = env.dir.file("sound.bin");
  writeFileBytes(path, framed(payload(1, 2, 1, "\x06\x03\x02\x01" + half + std::string(1, '\0') + half)));
  expectSameBits(loaded(path), VsmModel{{3, {0.0, 0.5, 0.5}}});
}

TEST_F(BinaryVectorFileTest, AWeightTheFormCannotHoldLeavesTheOldFile) {
  const std::string path = saved(randomModel(5, 5, 3, 3), VectorFormat::kBinary);
  const std::string before = readFileBytes(path);
  try {
    saveVsm(env.environment, VsmModel{{8, {0.5, std::nan("")}}}, path, VectorFormat::kBinary);
    ADD_FAILURE() << "a NaN weight was written";
  } catch (const DataFileError& error) {
    EXPECT_EQ(std::string(error.what()), path + ": article 8: weight 2 is not a finite number");
  }
  EXPECT_EQ(readFileBytes(path), before);
}

}  // namespace
}  // namespace newsclass
