// How many articles of one category a corpus table holds.
#ifndef NEWSCLASS_FEATURES_CATEGORY_COUNTS_H_
#define NEWSCLASS_FEATURES_CATEGORY_COUNTS_H_

#include <string>

#include "base/stage_environment.h"

namespace newsclass {

// The count query's answer for `category` in `tableName`, read as a number the way the stored
// text reads (atof), so a count the database writes oddly still reads as it always did.
double countCategoryArticles(const StageEnvironment& environment, const std::string& category,
                             const std::string& tableName);

}  // namespace newsclass

#endif  // NEWSCLASS_FEATURES_CATEGORY_COUNTS_H_
