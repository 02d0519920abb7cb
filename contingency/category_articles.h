// The article ids of each category, read from one corpus table over one connection.
#ifndef NEWSCLASS_CONTINGENCY_CATEGORY_ARTICLES_H_
#define NEWSCLASS_CONTINGENCY_CATEGORY_ARTICLES_H_

#include <string>

#include "base/stage_environment.h"
#include "contingency/contingency_table.h"
#include "corpusdb/category_list.h"

namespace newsclass {

// Sets result[category] to the ids of the rows of `tableName` whose stored category is
// `category`, for every category with at least one row (the training range does not limit
// them). Returns whether any category has a row.
bool collectCategoryArticles(const StageEnvironment& environment, const CategoryList& categories,
                             const std::string& tableName, CategoryArticles& result);

}  // namespace newsclass

#endif  // NEWSCLASS_CONTINGENCY_CATEGORY_ARTICLES_H_
