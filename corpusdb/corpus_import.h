// Getting a corpus into the database: a tab-separated file of articles (split, category, title,
// text), UTF-8 or GBK, goes into TrainingCorpus and TestingCorpus in one transaction. Either
// every article of the file is stored or, on any fault, none is and the database stays as it was.
#ifndef NEWSCLASS_CORPUSDB_CORPUS_IMPORT_H_
#define NEWSCLASS_CORPUSDB_CORPUS_IMPORT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace newsclass {

// One article line of the file; text fields are GBK.
struct CorpusLine {
  int lineNumber;
  bool training;  // split "train" (TrainingCorpus) or "test" (TestingCorpus)
  std::string category;
  std::string title;
  std::string text;
};

// Parses a corpus file's bytes. The file is UTF-8 when it starts with a UTF-8 byte-order mark
// (which is dropped) or when more of its non-ASCII lines are valid UTF-8 than not, else GBK;
// CR before LF and empty lines are ignored, and a first line
// "split<TAB>category<TAB>title<TAB>text" (any case) is skipped. Throws DataFileError
// "<fileName>:<line>: <reason>" for a line that is not valid in the file's encoding (or is
// plainly UTF-8 in a GBK file), a line without exactly four fields, a NUL byte in a field, a
// split other than "train" or "test", or a category that is empty or holds white space.
std::vector<CorpusLine> parseCorpusFile(const std::string& bytes, const std::string& fileName);

// How many articles of one split and category an import stored.
struct ImportCount {
  std::string table;     // TrainingCorpus or TestingCorpus
  std::string category;  // GBK
  int32_t articles = 0;
};

struct ImportResult {
  // Per table, then per category in order of first appearance in the file.
  std::vector<ImportCount> counts;
  int32_t trainingArticles = 0, testingArticles = 0;
  int32_t firstTrainingId = 0, firstTestingId = 0;  // ids given to the first article of a split
};

// Called after every stored article with (stored, total).
using ImportProgress = std::function<void(size_t done, size_t total)>;

// Stores the articles in the database, creating the tables when missing (text columns TEXT, or
// NVARCHAR(MAX) on SQL Server). Each split's articles are numbered in file order after the
// highest id of its table, or from 1 when `replace` empties both tables first. Everything
// happens in one transaction; a DatabaseFault rolls it back. The SQLite file is created when
// missing.
ImportResult importArticles(const std::string& connectionString,
                            const std::vector<CorpusLine>& articles, bool replace,
                            const ImportProgress& progress = ImportProgress());

}  // namespace newsclass

#endif  // NEWSCLASS_CORPUSDB_CORPUS_IMPORT_H_
