#include "segmentation/parallel_tokenizing.h"

#include <cstdlib>
#include <utility>

#include "base/console.h"
#include "base/parallel.h"
#include "base/progress.h"
#include "base/stage_clock.h"
#include "corpusdb/queries.h"
#include "segmentation/character_terms.h"

namespace newsclass {
namespace {

// A batch ends at this many articles or this much text, whichever comes first: enough work to
// be worth starting threads for, little enough memory for long articles.
constexpr size_t kBatchArticles = 2048;
constexpr size_t kBatchTextBytes = 8 << 20;

struct PendingArticle {
  std::string text;
  TokenizedArticle article;
};

}  // namespace

void tokenizeRows(const StageEnvironment& environment, RowCursor& rows, Tokenizer tokenizer,
                  const StopWordSet& stopWords, const TokenizingOptions& options,
                  const std::function<void(TokenizedArticle&)>& consume) {
  const int threads = environment.threads;
  if (environment.progress != nullptr) environment.console->flush();
  ProgressMeter progress(environment.progress, options.progressLabel,
                         options.progressTotal);
  std::vector<PendingArticle> batch;
  std::exception_ptr failure;
  bool failedRowPending = false;  // the last entry of the batch is the row whose id failed
  while (!failure) {
    batch.clear();
    size_t textBytes = 0;
    try {
      while (batch.size() < kBatchArticles && textBytes < kBatchTextBytes && !rows.atEnd()) {
        PendingArticle pending;
        pending.text = rows.text(kTextColumn);
        if (!pending.text.empty()) {
          pending.article.hasText = true;
          textBytes += pending.text.size();
          try {
            pending.article.idText = rows.text(kIdColumn);
            pending.article.id = rows.int32(kIdColumn);
          } catch (...) {
            // Its tokenising lines come before the fault when the text goes first.
            if (options.tokenizeBeforeId) {
              batch.push_back(std::move(pending));
              failedRowPending = true;
            }
            throw;
          }
        }
        batch.push_back(std::move(pending));
        rows.moveNext();
      }
    } catch (...) {
      failure = std::current_exception();
    }
    if (batch.empty()) break;

    runInParallel(threads, batch.size(), [&](size_t task, size_t lane) {
      PendingArticle& pending = batch[task];
      TokenizedArticle& article = pending.article;
      if (!article.hasText) return;
      {
        DetailCapture capture(article.details);
        StageClock clock;
        // The text is not needed again, so the tokeniser may have it.
        article.words =
            articleTerms(environment, tokenizer, std::move(pending.text), stopWords, options.terms);
        article.seconds = clock.elapsedSeconds();
      }
      const bool idFailed = failedRowPending && task + 1 == batch.size();
      if (options.prepare && !idFailed) options.prepare(article, lane);
    });

    const size_t consumable = batch.size() - (failedRowPending ? 1 : 0);
    for (size_t i = 0; i < batch.size(); ++i) {
      TokenizedArticle& article = batch[i].article;
      for (const std::string& line : article.details) environment.console->detail(line);
      if (i < consumable) consume(article);
    }
    progress.advance(static_cast<int64_t>(consumable));
  }
  if (failure) std::rethrow_exception(failure);
  progress.finish();
}

int64_t progressTotalOf(const StageEnvironment& environment, OdbcConnection& connection,
                        const std::string& table, int32_t firstId, int32_t lastId) {
  if (environment.progress == nullptr) return 0;
  RowCursor rows = connection.execute(articleCountQuery(table, firstId, lastId));
  if (rows.atEnd()) return 0;
  const std::string count = rows.text(kRowCountColumn);
  return std::strtoll(count.c_str(), nullptr, 10);
}

}  // namespace newsclass
