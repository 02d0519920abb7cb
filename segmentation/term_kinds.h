// Which terms an article's text yields: the tokeniser's words, the text's characters (unigrams
// and bigrams), or both. Every stage that turns text into terms (the dictionary, the testing
// vectors, the linear classifier, predict) takes them from the data folder's choice, so that
// training and new text are cut alike.
#ifndef NEWSCLASS_SEGMENTATION_TERM_KINDS_H_
#define NEWSCLASS_SEGMENTATION_TERM_KINDS_H_

#include <optional>
#include <string>

namespace newsclass {

enum class TermKinds { kWords, kChars, kWordsAndChars };

// The option's spelling: "words", "chars", "words+chars".
std::string termKindsName(TermKinds kinds);
// The kinds a spelling names; nothing for any other text.
std::optional<TermKinds> termKindsNamed(const std::string& name);

inline bool includesWords(TermKinds kinds) { return kinds != TermKinds::kChars; }
inline bool includesChars(TermKinds kinds) { return kinds != TermKinds::kWords; }

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_TERM_KINDS_H_
