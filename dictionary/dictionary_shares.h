// A dictionary built in shares of consecutive article ids (the ranks of a distributed run) and
// put together: a word's postings are in article order, so the shares' lists appended in id
// order are the list one build over the whole range makes.
#ifndef NEWSCLASS_DICTIONARY_DICTIONARY_SHARES_H_
#define NEWSCLASS_DICTIONARY_DICTIONARY_SHARES_H_

#include <string>
#include <string_view>

#include "dictionary/dictionary.h"

namespace newsclass {

// The words and postings of `dictionary`, packed for sending.
std::string packDictionary(const Dictionary& dictionary);

// Appends the postings of a packed share to those of the same words in `dictionary`, adding the
// words it lacks; the share must hold articles after every article already in `dictionary`.
void appendDictionaryShare(std::string_view packed, Dictionary& dictionary);

}  // namespace newsclass

#endif  // NEWSCLASS_DICTIONARY_DICTIONARY_SHARES_H_
