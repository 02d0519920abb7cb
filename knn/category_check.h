// Whether a vote over the category list can mean anything: the KNN vote counts only neighbours
// whose stored category is listed, and gives the first listed category when none is. A list
// that shares no name with the training table would label every article with that first
// category, so commands that classify check the list against the table before any work.
#ifndef NEWSCLASS_KNN_CATEGORY_CHECK_H_
#define NEWSCLASS_KNN_CATEGORY_CHECK_H_

#include <string>

#include "base/stage_environment.h"
#include "corpusdb/category_list.h"

namespace newsclass {

// Reads the distinct stored categories of `tableName`, trimmed of blanks, and throws UsageError
// when none of them is a name of `categories`:
//   "--categories: none of history, culture occurs in TrainingCorpus, whose categories are
//    art, sport"
// (the table's categories in byte order; "..., which holds no categorised article" for a table
// without one). GBK names are shown in UTF-8 unless the console writes GBK. A database fault
// reaches the caller.
void checkCategoriesInTable(const StageEnvironment& environment, const CategoryList& categories,
                            const std::string& tableName);

// GBK text as messages on standard error show it: UTF-8 unless the environment's console writes
// GBK.
std::string textForMessages(const StageEnvironment& environment, const std::string& gbkText);

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_CATEGORY_CHECK_H_
