// The containers of classification: neighbours and votes of one article, the predictions of a
// test set, and one article's stored record.
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

struct ArticleRecord {
  std::string articleName;
  std::string category;
  std::string abstract;
};

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_KNN_TYPES_H_
