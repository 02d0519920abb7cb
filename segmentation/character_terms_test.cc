#include "segmentation/character_terms.h"

#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"
#include "segmentation/tokenizer.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;
using testing::writeFileBytes;

// The character terms of UTF-8 text (converted to GBK).
WordList charactersOf(const std::string& utf8Text, const StopWordSet* stopWords = nullptr) {
  WordList terms;
  appendCharacterTerms(gbk(utf8Text), stopWords, terms);
  return terms;
}

WordList marked(std::initializer_list<const char*> utf8Terms) {
  WordList terms;
  for (const char* term : utf8Terms) terms.push_back("|" + gbk(term));
  return terms;
}

TEST(CharacterTermsTest, EachCharacterThenTheBigramItEnds) {
  EXPECT_EQ(charactersOf("中国人"), marked({"中", "国", "中国", "人", "国人"}));
  EXPECT_EQ(charactersOf("a中"), marked({"a", "中", "a中"}));
  EXPECT_TRUE(charactersOf("").empty());
}

TEST(CharacterTermsTest, DigitsAreRemovedSoTheirNeighboursMeet) {
  // ASCII and full-width digits, as the tokeniser removes them.
  EXPECT_EQ(charactersOf("第3届"), marked({"第", "届", "第届"}));
  EXPECT_EQ(charactersOf("第１２届"), marked({"第", "届", "第届"}));
  EXPECT_TRUE(charactersOf("2008１２").empty());
}

TEST(CharacterTermsTest, WhiteSpaceAndBarEndARunAndAreNoTerm) {
  EXPECT_EQ(charactersOf("中 国"), marked({"中", "国"}));
  EXPECT_EQ(charactersOf("中　国"), marked({"中", "国"}));  // the ideographic space
  EXPECT_EQ(charactersOf("中\t\r\n国"), marked({"中", "国"}));
  EXPECT_EQ(charactersOf("中|国"), marked({"中", "国"}));
}

TEST(CharacterTermsTest, PunctuationIsAUnigramButInNoBigram) {
  EXPECT_EQ(charactersOf("中，国"), marked({"中", "，", "国"}));
  EXPECT_EQ(charactersOf("(组图)"), marked({"(", "组", "图", "组图", ")"}));
  EXPECT_EQ(charactersOf("中：《国》"), marked({"中", "：", "《", "国", "》"}));
  // Full-width letters are letters; full-width punctuation is punctuation.
  EXPECT_EQ(charactersOf("ＣＤ！"), marked({"Ｃ", "Ｄ", "ＣＤ", "！"}));
}

TEST(CharacterTermsTest, InvalidAndControlBytesEndARun) {
  WordList terms;
  appendCharacterTerms(gbk("中") + "\x80" + gbk("国") + "\x01" + "a" + "\xff", nullptr, terms);
  EXPECT_EQ(terms, marked({"中", "国", "a"}));
  terms.clear();
  // A lead byte at the end of the text has no trail byte.
  appendCharacterTerms(gbk("中") + "\xd6", nullptr, terms);
  EXPECT_EQ(terms, marked({"中"}));
}

TEST(CharacterTermsTest, StopWordsLeaveOutUnigramsAndBigrams) {
  const StopWordSet stopWords{gbk("的"), gbk("中国")};
  EXPECT_EQ(charactersOf("中国的人", &stopWords), marked({"中", "国", "国的", "人", "的人"}));
}

class ArticleTermsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFileBytes(env.environment.lexiconPath, "中国 1000 ns\n人民 800 n\n");
    ASSERT_TRUE(env.segmenter.start(env.environment.lexiconPath));
  }
  WordList terms(const std::string& text, TermKinds kinds, Tokenizer tokenizer = &tokenizeArticle) {
    return articleTerms(env.environment, tokenizer, text, stopWords, kinds);
  }
  TestEnvironment env;
  StopWordSet stopWords{gbk("的")};
};

TEST_F(ArticleTermsTest, WordsCharactersOrBothInThatOrder) {
  const std::string text = gbk("中国的人民");
  const WordList words{gbk("中国"), gbk("人民")};
  EXPECT_EQ(terms(text, TermKinds::kWords), words);
  // Characters keep a stop word that is a character: only words drop it.
  const WordList characters =
      marked({"中", "国", "中国", "的", "国的", "人", "的人", "民", "人民"});
  EXPECT_EQ(terms(text, TermKinds::kChars), characters);
  WordList both = words;
  both.insert(both.end(), characters.begin(), characters.end());
  EXPECT_EQ(terms(text, TermKinds::kWordsAndChars), both);
}

TEST_F(ArticleTermsTest, NoWordEverPassesForACharacterTerm) {
  // The segmenting tokeniser splits at "|": none of its words starts with the mark.
  for (const WordList& result :
       {terms(gbk("|中国|人民||的"), TermKinds::kWords), terms("|a |b| c", TermKinds::kWords)}) {
    for (const std::string& word : result) EXPECT_FALSE(isCharacterTerm(word)) << word;
  }
  // A tokeniser that keeps "|" loses such a word when characters are wanted too (and keeps it
  // with words alone, where nothing can be confused).
  EXPECT_EQ(terms("|ab cd", TermKinds::kWordsAndChars, &splitBySpace),
            (WordList{"cd", "|a", "|b", "|ab", "|c", "|d", "|cd"}));
  EXPECT_EQ(terms("|ab cd", TermKinds::kWords, &splitBySpace), (WordList{"|ab", "cd"}));
}

TEST(TermKindsTest, NamesReadBack) {
  for (TermKinds kinds : {TermKinds::kWords, TermKinds::kChars, TermKinds::kWordsAndChars}) {
    EXPECT_EQ(termKindsNamed(termKindsName(kinds)), kinds);
  }
  EXPECT_EQ(termKindsName(TermKinds::kWordsAndChars), "words+chars");
  EXPECT_FALSE(termKindsNamed("characters").has_value());
  EXPECT_FALSE(termKindsNamed("").has_value());
}

}  // namespace
}  // namespace newsclass
