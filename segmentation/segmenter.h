// The Chinese word segmenter: a word-frequency lexicon held in a structure made for prefix
// lookups, a word graph over each run of Chinese text and the path of maximum probability
// through it. Works on GBK bytes. A segmenter whose lexicon failed to load still segments:
// every Chinese character stands alone, letter and digit runs stay together.
#ifndef NEWSCLASS_SEGMENTATION_SEGMENTER_H_
#define NEWSCLASS_SEGMENTATION_SEGMENTER_H_

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

struct CompiledLexicon;

// Where Debian's python3-jieba package installs its word-frequency list.
inline constexpr const char* kDefaultLexiconPath = "/usr/lib/python3/dist-packages/jieba/dict.txt";

class Segmenter {
 public:
  Segmenter();
  ~Segmenter();
  Segmenter(const Segmenter&) = delete;
  Segmenter& operator=(const Segmenter&) = delete;

  // Loads the lexicon (one entry a line: word, frequency, optional tag; UTF-8 or GBK), replacing
  // any lexicon and user words loaded before. Returns false when the file cannot be read or
  // holds no entry; the segmenter then falls back to single characters. The compiled lexicon
  // comes from the lexicon cache when that is valid (segmentation/lexicon_cache.h) and is kept
  // for the process, reused while the file holds the same bytes. A cache that cannot be
  // written costs one line on `warnings`, when given.
  bool start(const std::string& lexiconPath, std::ostream* warnings = nullptr);
  // Starts with a lexicon compiled already (not null), as start(path) does with the file's.
  void start(std::shared_ptr<const CompiledLexicon> lexicon);
  // Adds the words of a user dictionary (one word a line, optionally a frequency and a tag;
  // UTF-8 or GBK) until the next start. A word without a frequency is chosen wherever it
  // occurs, unless another such word covers more of the text. Returns the number of words
  // imported; 0 when the file cannot be read or no lexicon is loaded.
  int importUserDictionary(const std::string& path);
  // Drops the lexicon.
  void stop();
  bool started() const;
  // The number of distinct words known: lexicon and user words; 0 when not started.
  size_t lexiconWordCount() const;

  // Appends the words of a GBK text, in text order, as views into `text`. White space separates
  // and is dropped; every punctuation character is a word of its own, except that a run of the
  // Chinese dash — or ellipsis … is one word; a run of ASCII or full-width letters and digits is
  // one word; a byte that starts no valid GBK character is a word of its own.
  void segmentInto(std::string_view text, std::vector<std::string_view>& words) const;

 private:
  struct Lexicon;
  std::unique_ptr<Lexicon> lexicon_;
};

// Words joined by two spaces: the segmenter's output text.
std::string joinWords(const std::vector<std::string_view>& words);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_SEGMENTER_H_
