// The segmenter: white space, punctuation and letter and digit runs are cut by character kind;
// each run of other characters (Chinese text) is cut along the path of maximum probability
// through its word graph, found by dynamic programming from the end of the run to its start.
#include "segmentation/segmenter.h"

#include <cmath>
#include <limits>
#include <mutex>

#include "base/text_file_reader.h"
#include "segmentation/lexicon.h"
#include "segmentation/lexicon_cache.h"
#include "segmentation/segmenter_chars.h"

namespace newsclass {
namespace {

// Loading the lexicon costs far more than reading its file, so the last lexicon loaded is kept
// for the process and reused when the file holds exactly the same bytes again (a run starts the
// segmenter once per segmenting stage).
std::shared_ptr<const CompiledLexicon> loadLexicon(const std::string& path,
                                                   std::ostream* warnings) {
  static std::mutex mutex;
  static std::string lastBytes;
  static std::shared_ptr<const CompiledLexicon> last;
  std::string bytes;
  if (tryReadTextFile(path, bytes)) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (last && lastBytes == bytes) return last;
  std::shared_ptr<const CompiledLexicon> lexicon =
      loadLexiconThroughCache(path, bytes, lexiconCacheFolder(), warnings).lexicon;
  if (lexicon) {
    last = lexicon;
    lastBytes = std::move(bytes);
  }
  return lexicon;
}

// Work space of the best-path search, kept between calls to spare allocations.
struct PathScratch {
  std::vector<uint16_t> codes;
  std::vector<double> score;     // best log probability of the rest of the run from each char
  std::vector<int32_t> forced;   // characters covered by forced words on that best path
  std::vector<uint32_t> length;  // length in characters of the first word of that path
};

thread_local PathScratch scratch;

constexpr uint16_t kDash = 0xA1AA;      // —
constexpr uint16_t kEllipsis = 0xA1AD;  // …

}  // namespace

struct Segmenter::Lexicon {
  std::shared_ptr<const CompiledLexicon> loaded;
  // A copy of the loaded words with the user's words added, once there are any.
  std::unique_ptr<WordTrie> withUserWords;
  bool hasForcedWords = false;

  const WordTrie& words() const { return withUserWords ? *withUserWords : loaded->words; }
};

Segmenter::Segmenter() = default;
Segmenter::~Segmenter() = default;

bool Segmenter::start(const std::string& lexiconPath, std::ostream* warnings) {
  lexicon_.reset();
  std::shared_ptr<const CompiledLexicon> loaded = loadLexicon(lexiconPath, warnings);
  if (!loaded) return false;
  start(std::move(loaded));
  return true;
}

void Segmenter::start(std::shared_ptr<const CompiledLexicon> lexicon) {
  lexicon_ = std::make_unique<Lexicon>();
  lexicon_->loaded = std::move(lexicon);
}

int Segmenter::importUserDictionary(const std::string& path) {
  if (!lexicon_) return 0;
  WordEntries entries;
  if (!readWordFile(path, false, entries) || entries.entries.empty()) return 0;
  if (!lexicon_->withUserWords) {
    lexicon_->withUserWords = std::make_unique<WordTrie>(lexicon_->loaded->words);
  }
  WordTrie& words = *lexicon_->withUserWords;
  for (const auto& entry : entries.entries) {
    const uint16_t* units = entries.units.data() + entry.offset;
    if (entry.frequency == WordEntries::kNoFrequency) {
      // Chosen wherever it occurs; among paths that cover as many characters with such words,
      // it counts as the most frequent word of the lexicon.
      words.insert(units, entry.length, lexicon_->loaded->maxLogProbability, WordTrie::kForced);
      lexicon_->hasForcedWords = true;
    } else {
      // Probabilities stay relative to the lexicon's total.
      words.insert(units, entry.length, std::log(entry.frequency / lexicon_->loaded->total), 0);
    }
  }
  return static_cast<int>(entries.entries.size());
}

void Segmenter::stop() { lexicon_.reset(); }

bool Segmenter::started() const { return lexicon_ != nullptr; }

size_t Segmenter::lexiconWordCount() const { return lexicon_ ? lexicon_->words().wordCount() : 0; }

namespace {

// Cuts one run of Chinese characters (two bytes each, `codes` their units) into words.
// score[i] is the best sum of log probabilities of the words from character i to the end of the
// run; a character that starts no word of the lexicon stands alone with the lowest probability.
// Of equally good first words the longest is taken. With forced words, a path first has to
// cover as many characters with forced words as any other path, then be the most probable.
template <bool kWithForced>
void cutRun(std::string_view run, const std::vector<uint16_t>& codes, const WordTrie& words,
            double unknownLogProbability, std::vector<std::string_view>& out) {
  const size_t n = codes.size();
  PathScratch& s = scratch;
  s.score.resize(n + 1);
  s.length.resize(n + 1);
  if (kWithForced) s.forced.resize(n + 1);
  s.score[n] = 0;
  if (kWithForced) s.forced[n] = 0;
  for (size_t i = n; i-- > 0;) {
    double best = -std::numeric_limits<double>::infinity();
    int32_t bestForced = -1;
    uint32_t bestLength = 0;
    uint32_t node = words.root(codes[i]);
    for (size_t j = i; node != WordTrie::kNone;) {
      uint8_t flags = words.flags(node);
      if (flags & WordTrie::kWord) {
        double score = words.value(node) + s.score[j + 1];
        if (kWithForced) {
          int32_t forced = s.forced[j + 1];
          if (flags & WordTrie::kForced) forced += static_cast<int32_t>(j + 1 - i);
          if (forced > bestForced || (forced == bestForced && score >= best)) {
            best = score;
            bestForced = forced;
            bestLength = static_cast<uint32_t>(j + 1 - i);
          }
        } else if (score >= best) {
          best = score;
          bestLength = static_cast<uint32_t>(j + 1 - i);
        }
      }
      if (++j == n) break;
      node = words.child(node, codes[j]);
    }
    if (bestLength == 0) {
      best = unknownLogProbability + s.score[i + 1];
      if (kWithForced) bestForced = s.forced[i + 1];
      bestLength = 1;
    }
    s.score[i] = best;
    if (kWithForced) s.forced[i] = bestForced;
    s.length[i] = bestLength;
  }
  for (size_t i = 0; i < n; i += s.length[i]) out.push_back(run.substr(2 * i, 2 * s.length[i]));
}

}  // namespace

void Segmenter::segmentInto(std::string_view text, std::vector<std::string_view>& words) const {
  const CharKind* kinds = charKindTable();
  std::vector<uint16_t>& codes = scratch.codes;
  const size_t size = text.size();
  size_t pos = 0;
  while (pos < size) {
    GbkChar c = readGbkChar(text, pos, kinds);
    switch (c.kind) {
      case CharKind::kSpace:
        pos += c.length;
        break;
      case CharKind::kPunctuation: {
        // The Chinese dash —— and ellipsis …… are single marks written with two characters
        // (or more, in some texts): a run of either is one word.
        size_t start = pos;
        pos += c.length;
        if (c.code == kDash || c.code == kEllipsis) {
          while (pos + 1 < size && readGbkChar(text, pos, kinds).code == c.code) pos += 2;
        }
        words.push_back(text.substr(start, pos - start));
        break;
      }
      case CharKind::kStray:
        words.push_back(text.substr(pos, c.length));
        pos += c.length;
        break;
      case CharKind::kLetterDigit: {
        size_t start = pos;
        pos += c.length;
        while (pos < size) {
          GbkChar next = readGbkChar(text, pos, kinds);
          if (next.kind != CharKind::kLetterDigit) break;
          pos += next.length;
        }
        words.push_back(text.substr(start, pos - start));
        break;
      }
      case CharKind::kHan: {
        // Every character of this kind has two bytes.
        size_t start = pos;
        codes.clear();
        codes.push_back(c.code);
        pos += 2;
        while (pos < size) {
          GbkChar next = readGbkChar(text, pos, kinds);
          if (next.kind != CharKind::kHan) break;
          codes.push_back(next.code);
          pos += 2;
        }
        std::string_view run = text.substr(start, pos - start);
        if (!lexicon_) {
          for (size_t i = 0; i < run.size(); i += 2) words.push_back(run.substr(i, 2));
        } else if (lexicon_->hasForcedWords) {
          cutRun<true>(run, codes, lexicon_->words(), lexicon_->loaded->minLogProbability, words);
        } else {
          cutRun<false>(run, codes, lexicon_->words(), lexicon_->loaded->minLogProbability, words);
        }
        break;
      }
    }
  }
}

std::string joinWords(const std::vector<std::string_view>& words) {
  size_t size = 0;
  for (std::string_view word : words) size += word.size() + 2;
  std::string joined;
  joined.reserve(size);
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) joined.append("  ");
    joined.append(words[i]);
  }
  return joined;
}

}  // namespace newsclass
