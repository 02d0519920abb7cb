#include "knn/predictions_file.h"

#include <fstream>
#include <iterator>
#include <ostream>

#include "driver/atomic_file.h"
#include "driver/errors.h"
#include "driver/text_utils.h"

namespace newsclass {

void savePredictions(const ClassificationResults& results, const std::string& path) {
  for (const ClassificationResult& entry : results) {
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
  size_t lineNumber = 0;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
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
    results.push_back({*id, std::string(category)});
  }
  return results;
}

}  // namespace newsclass
