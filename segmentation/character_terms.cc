#include "segmentation/character_terms.h"

#include <algorithm>
#include <cctype>

namespace newsclass {
namespace {

enum class CharacterClass { kOrdinary, kPunctuation, kDigit, kBoundary };

struct Character {
  size_t length;  // bytes: 1 or 2
  CharacterClass kind;
};

bool isAsciiAlphanumeric(unsigned char c) { return std::isalnum(c) != 0 && c < 0x80; }

// What the character at the front of `text` is. GBK two-byte characters have a lead byte
// 0x81-0xFE and a trail byte 0x40-0xFE other than 0x7F.
Character characterAt(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) {
    if (lead >= '0' && lead <= '9') return {1, CharacterClass::kDigit};
    if (isAsciiAlphanumeric(lead)) return {1, CharacterClass::kOrdinary};
    // White space, "|" (where the tokeniser splits) and control bytes.
    if (lead <= 0x20 || lead == '|' || lead == 0x7F) return {1, CharacterClass::kBoundary};
    return {1, CharacterClass::kPunctuation};
  }
  if (lead == 0x80 || lead == 0xFF || text.size() < 2) return {1, CharacterClass::kBoundary};
  const auto trail = static_cast<unsigned char>(text[1]);
  if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return {1, CharacterClass::kBoundary};
  if (lead == 0xA1 && trail == 0xA1) return {2, CharacterClass::kBoundary};  // ideographic space
  if (lead == 0xA3 && trail >= 0xA1) {
    // The full-width forms of ASCII: digits go, letters stay, the rest is punctuation.
    const auto ascii = static_cast<unsigned char>(trail - 0x80);
    if (ascii >= '0' && ascii <= '9') return {2, CharacterClass::kDigit};
    return {2, isAsciiAlphanumeric(ascii) ? CharacterClass::kOrdinary : CharacterClass::kPunctuation};
  }
  // Rows A1, A2 and A9 hold punctuation, symbols, numbered signs and box drawing; the parts of
  // rows A6 to A8 below trail A1 hold more punctuation (vertical forms and the like).
  if (lead == 0xA1 || lead == 0xA2 || lead == 0xA9) return {2, CharacterClass::kPunctuation};
  if (lead >= 0xA6 && lead <= 0xA8 && trail < 0xA1) return {2, CharacterClass::kPunctuation};
  return {2, CharacterClass::kOrdinary};
}

void appendTerm(std::string_view characters, const StopWordSet* stopWords, WordList& terms) {
  if (stopWords != nullptr && stopWords->contains(characters)) return;
  std::string term;
  term.reserve(characters.size() + 1);
  term.push_back(kCharacterTermMark);
  term.append(characters);
  terms.push_back(std::move(term));
}

}  // namespace

void appendCharacterTerms(std::string_view text, const StopWordSet* stopWords, WordList& terms) {
  // The previous character kept in the current run, when it may start a bigram.
  std::string previous;
  size_t at = 0;
  while (at < text.size()) {
    const Character next = characterAt(text.substr(at));
    const std::string_view bytes = text.substr(at, next.length);
    at += next.length;
    switch (next.kind) {
      case CharacterClass::kDigit:
        break;  // removed: its neighbours meet
      case CharacterClass::kBoundary:
        previous.clear();
        break;
      case CharacterClass::kPunctuation:
        appendTerm(bytes, stopWords, terms);
        previous.clear();
        break;
      case CharacterClass::kOrdinary:
        appendTerm(bytes, stopWords, terms);
        if (!previous.empty()) {
          previous.append(bytes);
          appendTerm(previous, stopWords, terms);
        }
        previous.assign(bytes);
        break;
    }
  }
}

WordList articleTerms(const StageEnvironment& environment, Tokenizer tokenizer, std::string text,
                      const StopWordSet& stopWords, TermKinds kinds) {
  if (kinds == TermKinds::kWords) return tokenizer(environment, std::move(text), stopWords);
  WordList terms;
  if (includesWords(kinds)) {
    terms = tokenizer(environment, text, stopWords);
    terms.erase(std::remove_if(terms.begin(), terms.end(),
                               [](const std::string& word) { return isCharacterTerm(word); }),
                terms.end());
  }
  // Characters keep the stop words: left out, they cost accuracy on headlines (a stop word such
  // as a single particle still tells apart a pair it stands in).
  appendCharacterTerms(text, nullptr, terms);
  return terms;
}

}  // namespace newsclass
