#include "dictionary/dictionary_shares.h"

#include "base/byte_message.h"

namespace newsclass {

std::string packDictionary(const Dictionary& dictionary) {
  MessageWriter message;
  message.put<uint64_t>(dictionary.size());
  for (const auto& [word, postings] : dictionary) {
    message.putText(word);
    message.put<uint64_t>(postings.size());
    for (const Posting& posting : postings) {
      message.put<int32_t>(posting.articleId);
      message.put<int32_t>(posting.count);
    }
  }
  return std::move(message.bytes());
}

void appendDictionaryShare(std::string_view packed, Dictionary& dictionary) {
  MessageReader message(packed);
  const uint64_t words = message.get<uint64_t>();
  auto hint = dictionary.begin();
  for (uint64_t w = 0; w < words; ++w) {
    const std::string_view word = message.getText();
    hint = dictionary.lower_bound(std::string(word));
    if (hint == dictionary.end() || hint->first != word) {
      hint = dictionary.emplace_hint(hint, std::string(word), PostingList());
    }
    PostingList& list = hint->second;
    const uint64_t count = message.get<uint64_t>();
    list.reserve(list.size() + count);
    for (uint64_t i = 0; i < count; ++i) {
      Posting posting;
      posting.articleId = message.get<int32_t>();
      posting.count = message.get<int32_t>();
      list.push_back(posting);
    }
  }
}

}  // namespace newsclass
