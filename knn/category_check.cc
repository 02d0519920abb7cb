#include "knn/category_check.h"

#include <algorithm>
#include <set>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "driver/console.h"
#include "driver/encoding.h"
#include "driver/errors.h"

namespace newsclass {

std::string textForMessages(const CorpusProcessor& processor, const std::string& gbkText) {
  const Console* console = processor.environment().console;
  if (console != nullptr && console->encoding() == ConsoleEncoding::kGbk) return gbkText;
  return gbkToUtf8(gbkText);
}

void checkCategoriesInTable(CorpusProcessor& processor, const CategoryList& categories,
                            const std::string& tableName) {
  std::set<std::string> stored;
  {
    OdbcConnection connection(processor.environment().connectionString, "checkCategoriesInTable");
    RowCursor rows = connection.execute(distinctCategoriesQuery(tableName));
    for (; !rows.atEnd(); rows.moveNext()) {
      std::string category = rows.text("Categorization");
      processor.trim(category, " ");
      if (!category.empty()) stored.insert(std::move(category));
    }
  }
  bool anyListed = std::any_of(categories.begin(), categories.end(),
                               [&stored](const std::string& name) { return stored.count(name); });
  if (anyListed) return;

  auto join = [&processor](auto begin, auto end) {
    std::string text;
    for (auto it = begin; it != end; ++it) {
      if (!text.empty()) text += ", ";
      text += textForMessages(processor, *it);
    }
    return text;
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
