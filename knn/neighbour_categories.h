// The stored categories of training articles, read once for a whole test set. One neighbour
// query per testing article costs far more than the neighbour search itself on short texts, and
// every such query asks the same table for some of the same ids. The rows come from the same
// "ArticleId in (...)" predicate the neighbour query uses, in chunks of ids, so that every id
// matches exactly the rows its own query would match; an id that comes back in a form other
// than its plain decimal text (which a column of another type could give) makes the cache
// decline, and the caller asks per article as before.
#ifndef NEWSCLASS_KNN_NEIGHBOUR_CATEGORIES_H_
#define NEWSCLASS_KNN_NEIGHBOUR_CATEGORIES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "corpusdb/odbc_connection.h"
#include "knn/knn_types.h"

namespace newsclass {

class NeighbourCategories {
 public:
  // Ids per query: short enough for every database's statement limits.
  static constexpr size_t kIdsPerQuery = 500;

  // Reads the categories of `ids` from `table`, or nothing when an id comes back in another
  // form than its decimal text or a value is NULL.
  static std::optional<NeighbourCategories> read(OdbcConnection& connection,
                                                 const std::string& table,
                                                 const std::vector<int32_t>& ids);

  // The categories the neighbour query of these neighbours would return, in no particular order
  // (votes only count them).
  std::vector<std::string> of(const std::vector<NeighbourEntry>& neighbours) const;
  // Each neighbour's categories paired with its similarity, in rank order (the similarity vote).
  std::vector<std::pair<std::string, double>> withSimilarities(
      const std::vector<NeighbourEntry>& neighbours) const;

 private:
  std::unordered_map<int32_t, std::vector<std::string>> categories_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_KNN_NEIGHBOUR_CATEGORIES_H_
