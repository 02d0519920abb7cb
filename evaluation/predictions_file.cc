#include "evaluation/predictions_file.h"

#include <optional>
#include <ostream>
#include <unordered_map>
#include <unordered_set>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "base/text_file_reader.h"
#include "base/text_utils.h"

namespace newsclass {

void savePredictions(const ClassificationResults& results, const std::string& path) {
  std::unordered_set<int32_t> seen;
  for (const ClassificationResult& entry : results) {
    // The reader refuses a repeated id, so the writer does not write one.
    if (!seen.insert(entry.articleId).second) {
      throw DataFileError(path + ": article " + std::to_string(entry.articleId) +
                          " is predicted twice; a predictions file holds one line per article");
    }
    if (entry.predictedCategory.empty() ||
        entry.predictedCategory.find_first_of("\r\n") != std::string::npos) {
      throw DataFileError(path + ": article " + std::to_string(entry.articleId) +
                          ": a predicted category must be one non-empty line");
    }
  }
  writeFileAtomically(path, [&results](std::ostream& out) {
    for (const ClassificationResult& entry : results) {
      out << entry.articleId << ' ' << entry.predictedCategory << '\n';
    }
  });
}

ClassificationResults loadPredictions(const std::string& path) {
  const std::string bytes = readTextFile(path);
  ClassificationResults results;
  // The line each article id was read on, to name both lines of a repeated id.
  std::unordered_map<int32_t, size_t> lineOfId;
  LineScanner lines(bytes);
  std::string_view line;
  while (lines.next(line)) {
    auto fail = [&](const std::string& reason) { return lineError(path, lines.line(), reason); };
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) throw fail("expected \"<article id> <category>\"");
    const std::optional<int32_t> id = parseInt32(line.substr(0, space));
    if (!id) throw fail("article id \"" + std::string(line.substr(0, space)) + "\" is not a number");
    const std::string_view category = line.substr(space + 1);
    if (category.empty()) throw fail("the category is empty");
    auto [first, inserted] = lineOfId.emplace(*id, lines.line());
    if (!inserted) {
      // One article predicted twice would count twice in every score of the report.
      throw fail("article " + std::to_string(*id) + " is predicted again (first on line " +
                 std::to_string(first->second) + ")");
    }
    results.push_back({*id, std::string(category)});
  }
  return results;
}

}  // namespace newsclass
