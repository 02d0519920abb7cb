// The vector files trainingVSM.dat and testingVSM.dat: per model entry, in ascending article id,
// the id, the number of weights and the weights, each weight in printf's %g form (six
// significant digits) followed by one space. The reader goes by white-space-separated tokens,
// not by lines; a record cut short, a token that is not a number where the layout puts one, or
// a weight that is not a finite number is refused with an error naming its record, and nothing
// is loaded then.
//
// A large corpus makes these files hundreds of megabytes (32,400 vectors of 1,000 weights: 320
// MB), so both directions go through a buffer of about a megabyte: the load's peak memory is the
// model plus that buffer, not the model plus the file.
#include "vsm/vector_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/atomic_file.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/parallel.h"
#include "base/stage_clock.h"
#include "base/text_file_reader.h"
#include "vsm/binary_vector_file.h"
#include "vsm/parsed_token_stream.h"
#include "vsm/weight_text.h"
#include "vsm/written_weights.h"

namespace newsclass {
namespace {

constexpr size_t kWriteChunk = 1 << 20;
// Weights per batch when several threads format: about a megabyte of text.
constexpr size_t kBatchWeights = 100000;

// A growing byte buffer filled through a raw pointer: std::string::append per weight costs more
// than the formatting itself, and resize would clear every byte first.
class TextBuffer {
 public:
  // Room for `bytes` more bytes after the current end; returns the end.
  char* reserve(size_t bytes) {
    if (size_ + bytes > capacity_) {
      const size_t capacity = std::max(2 * capacity_, size_ + bytes);
      auto data = std::make_unique_for_overwrite<char[]>(capacity);
      if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);  // data_ is null at first
      data_ = std::move(data);
      capacity_ = capacity;
    }
    return data_.get() + size_;
  }
  void setEnd(const char* end) { size_ = static_cast<size_t>(end - data_.get()); }
  size_t size() const { return size_; }
  void writeTo(std::ostream& out) {
    out.write(data_.get(), static_cast<std::streamsize>(size_));
    size_ = 0;
  }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Appends one record: id, count, weights each followed by a space.
void formatRecord(int32_t articleId, const WeightVector& weights, CachedWeightFormatter& formatter,
                  TextBuffer& text) {
  // 24 bytes for each number and its line end, 16 more than the longest weight per weight (the
  // formatter may write up to 16 bytes past a text's end).
  char* p = text.reserve(2 * 24 + weights.size() * (kWeightTextCapacity / 2 + 1) + 32);
  p = std::to_chars(p, p + 24, articleId).ptr;
  *p++ = '\n';
  p = std::to_chars(p, p + 24, weights.size()).ptr;
  *p++ = '\n';
  for (double weight : weights) {
    p = formatter.format(weight, p);
    *p++ = ' ';
  }
  *p++ = '\n';
  text.setEnd(p);
}

using ModelIterator = VsmModel::const_iterator;

// The records of `model` in batches of about kBatchWeights weights, as [begin, end) pairs.
std::vector<std::pair<ModelIterator, ModelIterator>> batches(const VsmModel& model) {
  std::vector<std::pair<ModelIterator, ModelIterator>> result;
  size_t weights = 0;
  ModelIterator begin = model.begin();
  for (auto it = model.begin(); it != model.end();) {
    weights += it->second.size() + 1;
    if (++it == model.end() || weights >= kBatchWeights) {
      result.emplace_back(begin, it);
      begin = it;
      weights = 0;
    }
  }
  return result;
}

}  // namespace

void writeVsmText(const VsmModel& model, int threads, std::ostream& out) {
  if (threads <= 1) {
    auto formatter = std::make_unique<CachedWeightFormatter>();
    TextBuffer text;
    for (const auto& [articleId, weights] : model) {
      formatRecord(articleId, weights, *formatter, text);
      if (text.size() >= kWriteChunk) text.writeTo(out);
    }
    text.writeTo(out);
    return;
  }
  // Rounds of one batch per thread, formatted side by side and written in order, so that the
  // bytes are those of the single-threaded loop.
  const auto work = batches(model);
  const size_t lanes = static_cast<size_t>(threads);
  std::vector<std::unique_ptr<CachedWeightFormatter>> formatters;
  std::vector<TextBuffer> texts(lanes);
  for (size_t lane = 0; lane < lanes; ++lane) {
    formatters.push_back(std::make_unique<CachedWeightFormatter>());
  }
  for (size_t first = 0; first < work.size(); first += lanes) {
    const size_t count = std::min(lanes, work.size() - first);
    runInParallel(threads, count, [&](size_t task, size_t lane) {
      for (auto it = work[first + task].first; it != work[first + task].second; ++it) {
        formatRecord(it->first, it->second, *formatters[lane], texts[task]);
      }
    });
    for (size_t task = 0; task < count; ++task) texts[task].writeTo(out);
  }
}

namespace {

// Formats the model through `write` (a whole file's writer) and writes the timing line. With
// `rounding` (the model itself), a binary form replaces each weight by the one it gives back as
// it encodes it.
template <typename WriteFile>
void saveTimed(const StageEnvironment& environment, const VsmModel& model, const std::string& path,
               VectorFormat format, WriteFile write, VsmModel* rounding = nullptr) {
  static const std::string kTimingLabel = gbk(kSaveVectorsTimingLabel);
  StageClock clock;
  write([&](std::ostream& out) {
    if (format == VectorFormat::kText) {
      writeVsmText(model, environment.threads, out);
    } else if (rounding != nullptr) {
      vsm::writeAndRoundBinaryVectors(*rounding, environment.threads, path, out);
    } else {
      vsm::writeBinaryVectors(model, environment.threads, path, out);
    }
  });
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
}

}  // namespace

void saveAndRoundVsm(const StageEnvironment& environment, VsmModel& model, const std::string& path,
                     AtomicFileGroup& files, VectorFormat format) {
  saveTimed(environment, model, path, format,
            [&](const auto& write) { files.write(path, write); }, &model);
  // The text form is rounded after it is written: its formatter makes text, not numbers.
  if (format == VectorFormat::kText) vsm::roundModelAsWritten(model, environment.threads);
}

std::string vectorFormatName(VectorFormat format) {
  return format == VectorFormat::kBinary ? "binary" : "text";
}

std::optional<VectorFormat> vectorFormatNamed(const std::string& name) {
  if (name == "text") return VectorFormat::kText;
  if (name == "binary") return VectorFormat::kBinary;
  return std::nullopt;
}

void saveVsm(const StageEnvironment& environment, const VsmModel& model, const std::string& path,
             VectorFormat format) {
  saveTimed(environment, model, path, format,
            [&path](const auto& write) { writeFileAtomically(path, write); });
}

void saveVsm(const StageEnvironment& environment, const VsmModel& model, const std::string& path,
             AtomicFileGroup& files, VectorFormat format) {
  saveTimed(environment, model, path, format,
            [&](const auto& write) { files.write(path, write); });
}

void loadVsm(const StageEnvironment& environment, VsmModel& model, const std::string& path) {
  static const std::string kTimingLabel = gbk("加载VSM模型到内存的时间为");
  StageClock clock;
  if (vsm::isBinaryVectorFile(path)) {
    mergeLoaded(model, vsm::readBinaryVectors(path, environment.threads));
    environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
    return;
  }
  // Read block by block: the file is larger than the model it holds, and holding both would
  // double the peak memory. Each block's tokens are parsed on the threads.
  ParsedTokenStream scanner(path, environment.threads);
  VsmModel loaded;
  std::string_view token;
  for (uint64_t record = 1; scanner.next(token); ++record) {
    const std::optional<int32_t> articleId = parseInt32Token(token);
    if (!articleId) {
      throw recordError(path, record, "article id \"" + std::string(token) + "\" is not a number");
    }
    auto fail = [&](const std::string& what) {
      return recordError(path, record, "article " + std::to_string(*articleId), what);
    };
    if (!scanner.next(token)) throw fail("the number of weights is missing");
    const std::optional<uint64_t> count = parseUint64Token(token);
    if (!count) {
      throw fail("the number of weights \"" + std::string(token) + "\" is not a count");
    }
    WeightVector weights;
    // A count is only a promise: reserve no more than the rest of the text can hold.
    weights.reserve(static_cast<size_t>(std::min<uint64_t>(*count, scanner.remaining() / 2 + 1)));
    for (uint64_t k = 0; k < *count; ++k) {
      // Runs of good weights in bulk; a bad one, or the end, takes the checks below.
      k += scanner.takeFiniteWeights(static_cast<size_t>(*count - k), weights);
      if (k == *count) break;
      if (!scanner.next(token)) {
        throw fail(std::to_string(*count) + " weights announced, " + std::to_string(k) + " found");
      }
      const std::optional<double> weight = scanner.weight();
      if (!weight) {
        throw fail("weight " + std::to_string(k + 1) + " \"" + std::string(token) +
                   "\" is not a number");
      }
      if (!std::isfinite(*weight)) {
        // A weight of a unit vector lies between -1 and 1; an infinite or undefined one would
        // make every similarity with this vector undefined.
        throw fail("weight " + std::to_string(k + 1) + " \"" + std::string(token) +
                   "\" is not a finite number");
      }
      weights.push_back(*weight);
    }
    // Records come in ascending id, so each lands right before the end.
    loaded.insert_or_assign(loaded.end(), *articleId, std::move(weights));
  }
  mergeLoaded(model, std::move(loaded));
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
}

}  // namespace newsclass
