// The containers of classification: neighbours and votes of one article, and the predictions
// of a test set.
#ifndef NEWSCLASS_KNN_KNN_TYPES_H_
#define NEWSCLASS_KNN_KNN_TYPES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace newsclass {

struct NeighbourEntry {
  int32_t articleId;
  double similarity;
};

struct CategoryVote {
  std::string category;
  int32_t votes;
  // With the similarity vote: the neighbours' similarities added up, the order of the votes.
  double weight = 0.0;
};

struct ClassificationResult {
  int32_t articleId;
  std::string predictedCategory;
  bool operator==(const ClassificationResult&) const = default;
};

using ClassificationResults = std::vector<ClassificationResult>;

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_KNN_TYPES_H_
