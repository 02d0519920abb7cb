// Building the contingency table: for every word of the dictionary and every category, the
// number of the category's articles with the word and without it.
#ifndef NEWSCLASS_CONTINGENCY_CONTINGENCY_BUILD_H_
#define NEWSCLASS_CONTINGENCY_CONTINGENCY_BUILD_H_

#include <string>

#include "base/stage_environment.h"
#include "contingency/contingency_table.h"
#include "corpusdb/category_list.h"
#include "dictionary/dictionary.h"

namespace newsclass {

// The stage's timing line's label (UTF-8; gbk() makes the console's text of it).
inline constexpr const char* kContingencyTimingLabel = "建立contingencyTable的时间为";

// Counts the cells on the environment's threads (the table does not depend on their number)
// and writes the stage's timing line. Returns whether the table holds a cell.
bool buildContingencyTable(const StageEnvironment& environment, const Dictionary& dictionary,
                           const CategoryList& categories, ContingencyTable& table,
                           const std::string& tableName);

}  // namespace newsclass

#endif  // NEWSCLASS_CONTINGENCY_CONTINGENCY_BUILD_H_
