#include "knn/neighbour_categories.h"

#include <charconv>

#include "corpusdb/queries.h"

namespace newsclass {
namespace {

// The id whose decimal text `text` is exactly, if any.
std::optional<int32_t> plainDecimal(const std::string& text) {
  int32_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (std::to_string(value) != text) return std::nullopt;  // "+5", "05", "-0"
  return value;
}

}  // namespace

std::optional<NeighbourCategories> NeighbourCategories::read(OdbcConnection& connection,
                                                             const std::string& table,
                                                             const std::vector<int32_t>& ids) {
  NeighbourCategories cache;
  for (size_t first = 0; first < ids.size(); first += kIdsPerQuery) {
    std::string idList = "(";
    for (size_t i = first; i < ids.size() && i < first + kIdsPerQuery; ++i) {
      if (i > first) idList += ',';
      idList += std::to_string(ids[i]);
    }
    idList += ')';
    RowCursor rows = connection.execute(neighbourIdCategoriesQuery(table, idList));
    for (; !rows.atEnd(); rows.moveNext()) {
      // A row whose category is NULL faults only if it is ever a neighbour: leave that to the
      // per-article queries.
      if (rows.isNull(kIdColumn) || rows.isNull(kCategoryColumn)) return std::nullopt;
      std::optional<int32_t> id = plainDecimal(rows.text(kIdColumn));
      if (!id) return std::nullopt;
      cache.categories_[*id].push_back(rows.text(kCategoryColumn));
    }
  }
  return cache;
}

std::vector<std::string> NeighbourCategories::of(
    const std::vector<NeighbourEntry>& neighbours) const {
  std::vector<std::string> found;
  for (const NeighbourEntry& neighbour : neighbours) {
    auto entry = categories_.find(neighbour.articleId);
    if (entry != categories_.end()) found.insert(found.end(), entry->second.begin(), entry->second.end());
  }
  return found;
}

std::vector<std::pair<std::string, double>> NeighbourCategories::withSimilarities(
    const std::vector<NeighbourEntry>& neighbours) const {
  std::vector<std::pair<std::string, double>> found;
  for (const NeighbourEntry& neighbour : neighbours) {
    auto entry = categories_.find(neighbour.articleId);
    if (entry == categories_.end()) continue;
    for (const std::string& category : entry->second) found.emplace_back(category, neighbour.similarity);
  }
  return found;
}

}  // namespace newsclass
