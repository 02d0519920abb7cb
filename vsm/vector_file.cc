// The vector file: per model entry, in ascending article id, the id, the number of weights and
// the weights, each weight in printf's %g form (six significant digits) followed by one space.
// The reader goes by white-space-separated tokens, not by lines; a weight that is not a finite
// number is refused with an error naming its record.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "driver/atomic_file.h"
#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/errors.h"
#include "driver/stage_clock.h"
#include "vsm/token_reader.h"
#include "vsm/vector_file.h"

namespace newsclass {
namespace {

constexpr size_t kWriteChunk = 1 << 20;

template <typename Number>
void appendInteger(std::string& out, Number value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// to_chars with the general format and a precision is specified as printf's %.6g in the C
// locale: six significant digits, exponent of at least two digits, no trailing zeros.
void appendWeight(std::string& out, double weight) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, weight, std::chars_format::general, 6);
  out.append(buffer, result.ptr);
}

}  // namespace

void CorpusProcessor::saveVsm(const VsmModel& model, const std::string& path) {
  static const std::string kTimingLabel = gbk("将语料库集合的VSM模型为序列化到硬盘的时间为");
  StageClock clock;
  writeFileAtomically(path, [&](std::ostream& out) {
    std::string text;
    text.reserve(kWriteChunk + 4096);
    for (const auto& [articleId, weights] : model) {
      appendInteger(text, articleId);
      text.push_back('\n');
      appendInteger(text, weights.size());
      text.push_back('\n');
      for (double weight : weights) {
        appendWeight(text, weight);
        text.push_back(' ');
        if (text.size() >= kWriteChunk) {
          out.write(text.data(), static_cast<std::streamsize>(text.size()));
          text.clear();
        }
      }
      text.push_back('\n');
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  });
  console().timingLine(kTimingLabel, clock.elapsedSeconds());
}

void CorpusProcessor::loadVsm(VsmModel& model, const std::string& path) {
  loadVsmFile(*this, model, path, VsmLoadPolicy::kWarnAndKeep);
}

void loadVsmFile(CorpusProcessor& processor, VsmModel& model, const std::string& path,
                 VsmLoadPolicy policy) {
  static const std::string kTimingLabel = gbk("加载VSM模型到内存的时间为");
  StageClock clock;
  std::ostream* warnings = processor.environment().warnings;
  std::string bytes;
  if (auto failure = vsm::readWholeFile(path, bytes)) {
    if (policy == VsmLoadPolicy::kRefuse) throw DataFileError(path + ": " + *failure);
    // Loads nothing, as an empty file would; say why.
    if (warnings != nullptr) *warnings << path << ": " << *failure << "; no vectors loaded\n";
    bytes.clear();
  }
  // A record cut short or a token that is not a number ends the load: warned about and the
  // records before it kept, or refused outright.
  auto stop = [&](const std::string& what) {
    if (policy == VsmLoadPolicy::kRefuse) throw DataFileError(path + ": " + what);
    if (warnings != nullptr) {
      *warnings << path << ": " << what << "; loading stopped, the records before it are kept\n";
    }
  };

  vsm::TokenReader reader(bytes);
  std::string_view token;
  for (uint64_t record = 1; reader.next(token); ++record) {
    auto articleId = vsm::parseIntToken(token);
    if (!articleId) {
      stop("record " + std::to_string(record) + ": article id \"" + std::string(token) +
           "\" is not a number");
      break;
    }
    auto which = [&] {
      return "record " + std::to_string(record) + " (article " + std::to_string(*articleId) + ")";
    };
    if (!reader.next(token)) {
      stop(which() + ": the number of weights is missing");
      break;
    }
    auto count = vsm::parseCountToken(token);
    if (!count) {
      stop(which() + ": the number of weights \"" + std::string(token) + "\" is not a count");
      break;
    }
    WeightVector weights;
    // A count is only a promise: reserve no more than the remaining text can hold.
    weights.reserve(static_cast<size_t>(std::min<uint64_t>(*count, bytes.size() / 2 + 1)));
    bool complete = true;
    for (uint64_t k = 0; k < *count; ++k) {
      if (!reader.next(token)) {
        stop(which() + ": " + std::to_string(*count) + " weights announced, " +
             std::to_string(k) + " found");
        complete = false;
        break;
      }
      auto weight = vsm::parseDoubleToken(token);
      if (!weight) {
        stop(which() + ": weight " + std::to_string(k + 1) + " \"" + std::string(token) +
             "\" is not a number");
        complete = false;
        break;
      }
      if (!std::isfinite(*weight)) {
        // A weight of a unit vector lies between -1 and 1; an infinite or undefined one would
        // make every similarity with this vector undefined.
        throw DataFileError(path + ": " + which() + ": weight " + std::to_string(k + 1) +
                            " \"" + std::string(token) + "\" is not a finite number");
      }
      weights.push_back(*weight);
    }
    if (!complete) break;
    model.insert_or_assign(*articleId, std::move(weights));
  }

  processor.console().timingLine(kTimingLabel, clock.elapsedSeconds());
}

}  // namespace newsclass
