#include "knn/predictions_file.h"

#include <fstream>
#include <iterator>
#include <ostream>
#include <unordered_map>
#include <unordered_set>

#include "driver/atomic_file.h"
#include "driver/errors.h"
#include "driver/text_utils.h"

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
  std::ifstream in(path, std::ios::binary);
  if (!in) throw DataFileError(path + ": cannot open for reading");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw DataFileError(path + ": cannot read");

  ClassificationResults results;
  // The line each article id was read on, to name both lines of a repeated id.
  std::unordered_map<int32_t, size_t> lineOfId;
  size_t lineNumber = 0;
  size_t start = 0;
  while (start < bytes.size()) {
    // A line ends at LF, CR LF or a lone CR, so files from any platform read line by line.
    size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    start = end + 1;
    if (end < bytes.size() && bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') {
      ++start;
    }
    ++lineNumber;
    auto fail = [&](const std::string& reason) {
      return DataFileError(path + ": line " + std::to_string(lineNumber) + ": " + reason);
    };
    size_t space = line.find(' ');
    if (space == std::string_view::npos) {
      throw fail("expected \"<article id> <category>\"");
    }
    std::optional<int32_t> id = parseInt32(line.substr(0, space));
    if (!id) throw fail("article id \"" + std::string(line.substr(0, space)) + "\" is not a number");
    std::string_view category = line.substr(space + 1);
    if (category.empty()) throw fail("the category is empty");
    auto [first, inserted] = lineOfId.emplace(*id, lineNumber);
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
