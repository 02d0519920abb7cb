#include "knn/category_check.h"

#include <algorithm>
#include <string>
#include <vector>
#include <set>

#include "base/console.h"
#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"

namespace newsclass {
namespace {

constexpr size_t kNamesShown = 10;

}  // namespace

std::string textForMessages(const StageEnvironment& environment, const std::string& gbkText) {
  const Console* console = environment.console;
  if (console != nullptr && console->encoding() == ConsoleEncoding::kGbk) return gbkText;
  return gbkToUtf8(gbkText);
}

void checkCategoriesInTable(const StageEnvironment& environment, const CategoryList& categories,
                            const std::string& tableName) {
  std::set<std::string> stored;
  {
    OdbcConnection connection(environment.connectionString, "checkCategoriesInTable");
    RowCursor rows = connection.execute(distinctCategoriesQuery(tableName));
    for (; !rows.atEnd(); rows.moveNext()) {
      std::string category = rows.text(kCategoryColumn);
      trimInPlace(category, " ");
      if (!category.empty()) stored.insert(std::move(category));
    }
  }
  bool anyListed = std::any_of(categories.begin(), categories.end(),
                               [&stored](const std::string& name) { return stored.count(name); });
  if (anyListed) return;

  // A table of many categories (or a long list) is shortened, so the message stays one line.
  auto join = [&environment](auto begin, auto end) {
    std::vector<std::string> names;
    for (auto it = begin; it != end; ++it) names.push_back(textForMessages(environment, *it));
    return joinShortened(names, kNamesShown);
  };
  std::string message = "--categories: none of " + join(categories.begin(), categories.end()) +
                        " occurs in " + tableName;
  if (stored.empty()) {
    message += ", which holds no categorised article";
  } else {
    message += ", whose categories are " + join(stored.begin(), stored.end());
  }
  throw UsageError(message);
}

}  // namespace newsclass
