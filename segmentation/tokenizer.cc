// The tokenisers: an article text becomes the words that count for the dictionary and the
// vectors. tokenizeArticle segments the text, removes digits, splits it into words and drops
// empty words and stop words; splitBySpace splits text that is already segmented with spaces.
#include "segmentation/tokenizer.h"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/regex.hpp>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/encoding.h"
#include "base/stage_clock.h"
#include "base/text_utils.h"
#include "segmentation/segmenter.h"
#include "segmentation/text_conversion.h"
#include "segmentation/tokenizer_classes.h"

namespace newsclass {
namespace {

// Built once: a pattern costs far more to compile than to run over one article.
const boost::wregex& whiteSpaceRun() {
  static const boost::wregex pattern(std::wstring(kWhiteSpaceSet) + L"+");
  return pattern;
}

const boost::wregex& digitRun() {
  static const boost::wregex pattern(std::wstring(kDigitSet) + L"+");
  return pattern;
}

// The segmenter's words of a text, which ends at its first zero byte as a C string does.
void segmentWords(const Segmenter* segmenter, std::string_view text,
                  std::vector<std::string_view>& words) {
  words.clear();
  if (segmenter != nullptr) {
    segmenter->segmentInto(text, words);
  } else if (!text.empty()) {
    words.push_back(text);
  }
}

std::string_view untilZero(const std::string& text) { return std::string_view(text.c_str()); }

void keepWord(const std::string& piece, const StopWordSet& stopWords, WordList& result) {
  if (!piece.empty() && !stopWords.contains(piece)) result.push_back(piece);
}

}  // namespace

std::string joinSegmentedWords(const std::string& segmented) {
  std::wstring wide = toWideString(segmented);
  return toNarrowString(boost::regex_replace(wide, whiteSpaceRun(), L"|"));
}

WordList tokenizeJoinedText(const std::string& joined, const StopWordSet& stopWords) {
  std::wstring wide = boost::regex_replace(toWideString(joined), digitRun(), L"");
  std::vector<std::wstring> pieces;
  boost::algorithm::split(pieces, wide, boost::algorithm::is_any_of(L"|"),
                          boost::algorithm::token_compress_off);
  WordList result;
  for (const std::wstring& piece : pieces) {
    std::string word = toNarrowString(piece);
    trimInPlace(word, " ");
    keepWord(word, stopWords, result);
  }
  return result;
}

// Every character of a word is classified from its GBK bytes: ordinary characters are kept,
// digits dropped, separators (white space and "|") end a piece, and the boundary between two
// words is a separator as the white space that joins them would be. No piece can hold a space,
// so the trim of the step-by-step chain never changes one, and a kept piece's bytes are its
// ordinary characters' bytes, which the tables guarantee survive the wide round trips.
bool tokenizeSegmenterWords(const std::vector<std::string_view>& words,
                            const StopWordSet& stopWords, WordList& result) {
  const GbkClassTables& tables = gbkClassTables();
  result.reserve(result.size() + words.size());
  std::string piece;
  for (std::string_view word : words) {
    const char* p = word.data();
    const char* const end = p + word.size();
    const char* runStart = p;
    while (p < end) {
      unsigned char byte = static_cast<unsigned char>(*p);
      GbkCharClass kind = tables.single[byte];
      size_t length = 1;
      if (kind == GbkCharClass::kLeadByte) {
        if (p + 1 == end) return false;
        kind = tables.pairClass(byte, static_cast<unsigned char>(p[1]));
        length = 2;
      }
      if (kind == GbkCharClass::kOrdinary) {
        p += length;
        continue;
      }
      if (kind == GbkCharClass::kUnclean) return false;
      piece.append(runStart, p);
      if (kind == GbkCharClass::kSeparator) {
        keepWord(piece, stopWords, result);
        piece.clear();
      }
      p += length;
      runStart = p;
    }
    if (piece.empty()) {
      // The common case: the word is one run of ordinary characters.
      if (runStart != end) {
        piece.assign(runStart, end);
        keepWord(piece, stopWords, result);
        piece.clear();
      }
    } else {
      piece.append(runStart, end);
      keepWord(piece, stopWords, result);
      piece.clear();
    }
  }
  return true;
}

std::string segmentParagraph(const StageEnvironment& environment, const char* text) {
  std::vector<std::string_view> words;
  segmentWords(environment.segmenter, text, words);
  return joinSegmentedWords(joinWords(words));
}

WordList tokenizeArticle(const StageEnvironment& environment, std::string text,
                         const StopWordSet& stopWords) {
  static const std::string label = gbk("对篇章分词的时间为");
  StageClock clock;
  thread_local std::vector<std::string_view> words;
  segmentWords(environment.segmenter, untilZero(text), words);
  WordList result;
  if (!tokenizeSegmenterWords(words, stopWords, result)) {
    // Text that is not clean GBK: take the step-by-step road, which replaces what cannot be
    // converted exactly as the conversions do.
    result = tokenizeJoinedText(joinSegmentedWords(joinWords(words)), stopWords);
  }
  if (!environment.console->quiet()) environment.console->detail(label + formatSeconds(clock.elapsedSeconds()));
  return result;
}

WordList splitBySpace(const StageEnvironment& /*environment*/, std::string text,
                      const StopWordSet& /*stopWords*/) {
  WordList result;
  trimInPlace(text, " ");
  size_t start = 0;
  size_t space = text.find(' ', start);
  while (space != std::string::npos) {
    std::string piece = text.substr(start, space - start);
    trimInPlace(piece, " ");
    result.push_back(std::move(piece));
    start = text.find_first_not_of(' ', space);
    space = text.find(' ', start);
  }
  std::string piece = start < text.size() ? text.substr(start) : std::string();
  trimInPlace(piece, " ");
  result.push_back(std::move(piece));
  return result;
}

}  // namespace newsclass
