// Character terms: the characters of an article's text and the pairs of adjacent characters,
// which carry much of a short text's meaning where segmentation stumbles (names, new words,
// abbreviations). A character term is written with a leading "|" ("|中", "|中国"). The tokeniser
// splits text at "|", so no word it gives starts with one, and a character term never shares
// its bytes with a word.
#ifndef NEWSCLASS_SEGMENTATION_CHARACTER_TERMS_H_
#define NEWSCLASS_SEGMENTATION_CHARACTER_TERMS_H_

#include <string>
#include <string_view>

#include "base/stage_environment.h"
#include "segmentation/stop_word_set.h"
#include "segmentation/term_kinds.h"
#include "segmentation/tokenizer.h"
#include "segmentation/word_list.h"

namespace newsclass {

// The mark that starts every character term.
inline constexpr char kCharacterTermMark = '|';

inline bool isCharacterTerm(std::string_view term) {
  return !term.empty() && term.front() == kCharacterTermMark;
}

// Appends the character terms of GBK `text` to `terms`, in text order: each character as a
// unigram, followed by the bigram it ends, where the character before it is in its run. Digits (ASCII
// and full-width) are removed first, as the tokeniser removes them. White space and "|" end a
// run of characters and are no term; punctuation and symbols are unigrams but no bigram holds
// one. Control bytes and bytes that are not part of a valid GBK character end a run too and
// are no term. With `stopWords`, a term whose characters (without the mark) are a stop word is
// left out.
void appendCharacterTerms(std::string_view text, const StopWordSet* stopWords, WordList& terms);

// The terms of an article's text: the tokeniser's words (with kinds including words), then its
// character terms (with kinds including characters; stop words are left out of the words only). A
// word that starts with the mark, which only a tokeniser that keeps "|" can give, is dropped
// when character terms are wanted, so that it cannot pass for one.
WordList articleTerms(const StageEnvironment& environment, Tokenizer tokenizer, std::string text,
                      const StopWordSet& stopWords, TermKinds kinds);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_CHARACTER_TERMS_H_
