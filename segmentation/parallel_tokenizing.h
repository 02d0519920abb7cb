// Tokenising the articles of a query on several threads while the stage still sees them one by
// one, in row order, with the detail lines each wrote. The calling thread reads a batch of rows,
// the threads tokenise the batch, and the calling thread hands the articles to the stage in row
// order; so the stage's results and lines are the same for any thread count.
#ifndef NEWSCLASS_SEGMENTATION_PARALLEL_TOKENIZING_H_
#define NEWSCLASS_SEGMENTATION_PARALLEL_TOKENIZING_H_

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "base/stage_environment.h"
#include "corpusdb/odbc_connection.h"
#include "segmentation/term_kinds.h"
#include "segmentation/tokenizer.h"

namespace newsclass {

// One row of an article query (columns CAbstract and ArticleId).
struct TokenizedArticle {
  bool hasText = false;    // CAbstract is not empty; the other fields are set only then
  std::string idText;      // ArticleId as text
  int32_t id = 0;          // ArticleId as a number
  WordList words;          // the tokeniser's words
  std::vector<std::string> details;  // detail lines the tokeniser wrote, not yet written
  double seconds = 0.0;    // time spent tokenising
  std::vector<double> weights;  // what the stage's prepare step made of the words, if any
};

struct TokenizingOptions {
  // Whether a row's text is tokenised before its id is read, so that a bad id fails after the
  // tokeniser's lines (the dictionary's order), or before (the testing vectors' order).
  bool tokenizeBeforeId = true;
  // The terms each text yields (the tokeniser's words, its characters, or both).
  TermKinds terms = TermKinds::kWords;
  // Run on the tokenising thread after each article with text is tokenised, with the number of
  // the thread (0 to threads - 1); may be empty.
  std::function<void(TokenizedArticle&, size_t lane)> prepare;
  // The progress line's label and the number of rows to expect (0: unknown); the line is drawn
  // only when the environment has a progress display.
  std::string progressLabel;
  int64_t progressTotal = 0;
};

// The number of rows articleRangeQuery(table, firstId, lastId) reads, when the environment draws
// progress lines (one count query on `connection`); 0 otherwise.
int64_t progressTotalOf(const StageEnvironment& environment, OdbcConnection& connection,
                        const std::string& table, int32_t firstId, int32_t lastId);

// Reads every row of `rows`, tokenises the text of each with `tokenizer` on the environment's
// threads and calls `consume` for each row in order on the calling thread, after writing the
// detail lines its tokenising wrote. When reading a row fails (a database fault, an id that is
// not a number), the rows before it are consumed, the failed row's tokenising lines written
// when its text was tokenised before the id, and the fault is rethrown.
void tokenizeRows(const StageEnvironment& environment, RowCursor& rows, Tokenizer tokenizer,
                  const StopWordSet& stopWords, const TokenizingOptions& options,
                  const std::function<void(TokenizedArticle&)>& consume);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_PARALLEL_TOKENIZING_H_
