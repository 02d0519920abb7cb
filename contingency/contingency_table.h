// The word-by-category table of document counts, and the article ids of each category that it
// is counted against. Keys order by word, then category, each byte-wise.
#ifndef NEWSCLASS_CONTINGENCY_CONTINGENCY_TABLE_H_
#define NEWSCLASS_CONTINGENCY_CONTINGENCY_TABLE_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace newsclass {

// (word, category name)
using ContingencyKey = std::pair<std::string, std::string>;

struct ContingencyCell {
  int32_t withWord = 0;     // the category's articles that contain the word
  int32_t withoutWord = 0;  // the category's articles that do not
  bool operator==(const ContingencyCell&) const = default;
};

using ContingencyTable = std::map<ContingencyKey, ContingencyCell>;

// Category name to its article ids, in the order the database returned them.
using CategoryArticles = std::map<std::string, std::vector<int32_t>>;

}  // namespace newsclass

#endif  // NEWSCLASS_CONTINGENCY_CONTINGENCY_TABLE_H_
