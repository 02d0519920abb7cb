// The categories a command works with (--categories), in the order the user gave them: the
// order of the contingency table's rows, the feature words' blocks and every tie in a vote.
#ifndef NEWSCLASS_CORPUSDB_CATEGORY_LIST_H_
#define NEWSCLASS_CORPUSDB_CATEGORY_LIST_H_

#include <string>
#include <vector>

namespace newsclass {

using CategoryList = std::vector<std::string>;

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_CATEGORY_LIST_H_
