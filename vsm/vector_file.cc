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
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "driver/atomic_file.h"
#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/errors.h"
#include "driver/stage_clock.h"
#include "driver/text_file_reader.h"
#include "driver/token_stream.h"
#include "vsm/weight_text.h"

namespace newsclass {
namespace {

constexpr size_t kWriteChunk = 1 << 20;

}  // namespace

void CorpusProcessor::saveVsm(const VsmModel& model, const std::string& path) {
  static const std::string kTimingLabel = gbk("将语料库集合的VSM模型为序列化到硬盘的时间为");
  StageClock clock;
  writeFileAtomically(path, [&](std::ostream& out) {
    // Filled through a raw pointer: std::string::append per weight costs more than the
    // formatting itself.
    std::string text(kWriteChunk + 4096, '\0');
    char* const begin = text.data();
    char* p = begin;
    auto formatter = std::make_unique<CachedWeightFormatter>();
    for (const auto& [articleId, weights] : model) {
      p = std::to_chars(p, p + 24, articleId).ptr;
      *p++ = '\n';
      p = std::to_chars(p, p + 24, weights.size()).ptr;
      *p++ = '\n';
      for (double weight : weights) {
        p = formatter->format(weight, p);
        *p++ = ' ';
        if (static_cast<size_t>(p - begin) >= kWriteChunk) {
          out.write(begin, p - begin);
          p = begin;
        }
      }
      *p++ = '\n';
    }
    out.write(begin, p - begin);
  });
  console().timingLine(kTimingLabel, clock.elapsedSeconds());
}

void CorpusProcessor::loadVsm(VsmModel& model, const std::string& path) {
  static const std::string kTimingLabel = gbk("加载VSM模型到内存的时间为");
  StageClock clock;
  // Read piece by piece: the file is larger than the model it holds, and holding both would
  // double the peak memory.
  FileTokenStream scanner(path);
  auto parser = std::make_unique<CachedWeightParser>();
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
      if (!scanner.next(token)) {
        throw fail(std::to_string(*count) + " weights announced, " + std::to_string(k) + " found");
      }
      const std::optional<double> weight = parser->parse(token);
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
  console().timingLine(kTimingLabel, clock.elapsedSeconds());
}

}  // namespace newsclass
