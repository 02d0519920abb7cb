// Classifying one testing vector with KNN: the K training articles most similar to it vote with
// their stored categories over the category list.
#ifndef NEWSCLASS_KNN_KNN_CLASSIFY_H_
#define NEWSCLASS_KNN_KNN_CLASSIFY_H_

#include <string>
#include <vector>

#include "base/stage_environment.h"
#include "corpusdb/category_list.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// The stored categories of the articles of `tableName` whose ids `idList` ("(3,1,7)") names,
// in the order the database returns them, over a connection of its own.
std::vector<std::string> fetchNeighbourCategories(const StageEnvironment& environment,
                                                  const std::string& idList,
                                                  const std::string& tableName);

// The category the k nearest training vectors give `vector` by count vote, each neighbour's
// category read from `tableName`. UsageError for a k or category list no vote can use,
// DataFileError for vectors of mismatched dimension or weights that are not finite.
std::string knnClassify(const StageEnvironment& environment, int k, const std::string& tableName,
                        const WeightVector& vector, const CategoryList& categories,
                        const VsmModel& trainingModel);

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_KNN_CLASSIFY_H_
