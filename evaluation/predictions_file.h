// The predictions file: one line per classified testing article, "<id> <category>\n", in the
// order of the classification results. Written whole to a temporary file and renamed; read back
// strictly, so that a damaged file is reported with its line rather than evaluated.
#ifndef NEWSCLASS_EVALUATION_PREDICTIONS_FILE_H_
#define NEWSCLASS_EVALUATION_PREDICTIONS_FILE_H_

#include <string>

#include "knn/knn_types.h"

namespace newsclass {

// Writes every entry as the decimal id, one space, the predicted category (GBK bytes) and a line
// feed. Throws DataFileError naming the file when it cannot be written; a category that holds a
// line end cannot be stored and is refused the same way, as is an article id given twice.
void savePredictions(const ClassificationResults& results, const std::string& path);

// Reads a file written by savePredictions. Lines may end in LF, CR LF or a lone CR, and the
// last line may lack its line end. Throws DataFileError "<path>: line N: <reason>" for a line
// without an id, a space and a non-empty category, or whose id an earlier line already had, and
// "<path>: ..." when the file cannot be read.
ClassificationResults loadPredictions(const std::string& path);

}  // namespace newsclass

#endif  // NEWSCLASS_EVALUATION_PREDICTIONS_FILE_H_
