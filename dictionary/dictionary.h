// The inverted index of the training articles and the word containers around it: every word
// maps to the articles that contain it, with counts, in article processing order. Keys are GBK
// byte strings ordered by plain byte-wise comparison.
#ifndef NEWSCLASS_DICTIONARY_DICTIONARY_H_
#define NEWSCLASS_DICTIONARY_DICTIONARY_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "segmentation/stop_word_set.h"
#include "segmentation/word_list.h"

namespace newsclass {

struct Posting {
  int32_t articleId;
  int32_t count;
  bool operator==(const Posting&) const = default;
};

using PostingList = std::vector<Posting>;
using Dictionary = std::map<std::string, PostingList>;

}  // namespace newsclass

#endif  // NEWSCLASS_DICTIONARY_DICTIONARY_H_
