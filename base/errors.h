// The failures that travel up to `runNewsclass`, and the policy that decides which is which.
//
// - A data file the run reads (dict.dat, contingency.dat, keywords.dat, trainingVSM.dat,
//   testingVSM.dat, predictions.dat) that is missing, unreadable, cut off or malformed is a
//   DataFileError naming the file and, where there is one, the record or line and what was
//   expected there ("<file>: record N: <what>", "<file>: line N: <what>"; see
//   base/text_file_reader.h). A loader that throws leaves its container as it was: nothing is
//   loaded in part, so nothing is ever written from a partial load. The segmenter's lexicon is
//   a DataFileError when it cannot be read or holds no usable entry (single lines it cannot use
//   are skipped, as word lists are read). A data file that cannot be written is a DataFileError
//   too.
// - Optional inputs whose absence the run can live with (the stop-word file, the user
//   dictionary) and results worth a remark (keywords missing from the dictionary, articles whose
//   neighbours gave no vote) are warnings: one line each on Environment::warnings, and the run
//   goes on.
// - A request the user can correct is a UsageError (exit 1); a data-file error (exit 2) and the
//   database fault of corpusdb/ (DatabaseFault, exit 2) are the others.
//
// Library code throws these and never exits; only `runNewsclass` catches them, prints the one
// line and turns it into the exit code.
#ifndef NEWSCLASS_BASE_ERRORS_H_
#define NEWSCLASS_BASE_ERRORS_H_

#include <stdexcept>
#include <string>

namespace newsclass {

// A request the user can correct: a bad option value, a table name that is not an identifier.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A data file that is missing, unreadable, malformed or cannot be written; the message names the
// file and, where it helps, the record or line at fault.
class DataFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_ERRORS_H_
