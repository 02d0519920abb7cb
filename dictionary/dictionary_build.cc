// Dictionary construction: every article of a corpus table in the training range is tokenised,
// and each of its words gets a posting (article id, count) in the word's list.
#include "dictionary/dictionary_build.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/stage_clock.h"
#include "base/text_utils.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "dictionary/posting_adder.h"
#include "segmentation/parallel_tokenizing.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"

namespace newsclass {

bool buildDictionary(const StageEnvironment& environment, ArticleRange range,
                     Dictionary& dictionary, Tokenizer tokenizer, TermKinds terms,
                     const std::string& tableName) {
  static const std::string articleLabel = gbk("处理第");
  // "共有了", not "共用了": kept exactly, as scripts match the line.
  static const std::string secondsLabel = gbk("篇文章共有了");
  SegmenterSession session(environment);
  const std::string query = articleRangeQuery(tableName, range.firstId, range.lastId);
  {
    OdbcConnection connection(environment.connectionString, "buildDictionary");
    TokenizingOptions options;
    options.terms = terms;
    options.progressLabel = "dictionary";
    options.progressTotal =
        progressTotalOf(environment, connection, tableName, range.firstId, range.lastId);
    RowCursor rows = connection.execute(query);
    const StopWordSet stopWords = loadStopWords(environment);
    PostingAdder adder(dictionary);
    std::string line;
    try {
      tokenizeRows(environment, rows, tokenizer, stopWords, options,
                   [&](TokenizedArticle& article) {
                     StageClock clock;
                     if (article.hasText) adder.addArticle(article.words, article.id);
                     if (!environment.console->quiet()) {
                       line.assign(articleLabel).append(article.idText).append(secondsLabel);
                       line += formatSeconds(article.seconds + clock.elapsedSeconds());
                       environment.console->detail(line);
                     }
                   });
    } catch (...) {
      // A database fault leaves the stage; the articles processed so far stay in the dictionary.
      adder.finish();
      throw;
    }
    adder.finish();
  }
  return !dictionary.empty();
}

}  // namespace newsclass
