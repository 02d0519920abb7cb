#include "dictionary/dictionary_shares.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace newsclass {
namespace {

// The part of `dictionary` whose postings carry ids from first to last.
Dictionary shareOf(const Dictionary& dictionary, int32_t first, int32_t last) {
  Dictionary share;
  for (const auto& [word, postings] : dictionary) {
    for (const Posting& posting : postings) {
      if (posting.articleId >= first && posting.articleId <= last) share[word].push_back(posting);
    }
  }
  return share;
}

TEST(DictionaryShares, SharesAppendedInIdOrderGiveTheWholeDictionary) {
  const Dictionary whole = {
      {"a", {{1, 2}, {4, 1}, {9, 3}}},
      {"b", {{5, 1}}},
      {"\xd6\xd0\xb9\xfa", {{2, 1}, {3, 7}, {8, 1}}},  // GBK bytes
      {"", {{6, 1}}},
  };
  Dictionary merged = shareOf(whole, 1, 3);
  for (auto [first, last] : {std::pair{4, 5}, std::pair{6, 6}, std::pair{7, 7}, std::pair{8, 10}}) {
    appendDictionaryShare(packDictionary(shareOf(whole, first, last)), merged);
  }
  EXPECT_EQ(merged, whole);
}

TEST(DictionaryShares, AnEmptyShareChangesNothingAndACutMessageIsRefused) {
  Dictionary dictionary = {{"a", {{1, 1}}}};
  appendDictionaryShare(packDictionary(Dictionary()), dictionary);
  EXPECT_EQ(dictionary, (Dictionary{{"a", {{1, 1}}}}));
  const std::string packed = packDictionary({{"b", {{2, 1}, {3, 1}}}});
  EXPECT_THROW(appendDictionaryShare(packed.substr(0, packed.size() - 1), dictionary),
               std::runtime_error);
}

}  // namespace
}  // namespace newsclass
