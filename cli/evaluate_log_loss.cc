#include "cli/evaluate_log_loss.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "base/errors.h"
#include "base/text_utils.h"
#include "cli/cmd_model.h"
#include "corpusdb/article_lookup.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "models/model_factory.h"
#include "segmentation/parallel_tokenizing.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"

namespace newsclass {

LogLoss logisticLogLoss(RunContext& context, const ClassificationResults& results) {
  const Provenance facts = readModelFacts(context);
  auto classifier = facts.find("classifier");
  if (classifier == facts.end() || classifier->second != "logistic") {
    throw UsageError("--log-loss: needs the probabilities of --classifier logistic; the folder's "
                     "model (model.json) is " +
                     (classifier == facts.end() ? std::string("none") : classifier->second));
  }
  ModelDescription description;
  description.classifier = "logistic";
  description.files = dataFolderModelFiles(context);
  description.categories = context.categories;
  description.range = context.trainingRange();
  // Checked as model.json was read.
  auto range = facts.find("train_range");
  if (range != facts.end()) {
    parseIdRange(range->second, description.range.firstId, description.range.lastId);
  }
  requireCurrentFiles(context, dataFileNames(classifierNamed("logistic").modelFiles(description.files)));
  cutTextAsRecorded(context, facts);
  description.terms = context.environment().terms;

  StageEnvironment environment = context.environment();
  Console side(context.errors(), context.console().encoding(), true);
  environment.console = &side;
  const std::unique_ptr<Model> model = loadModel(description, environment);
  const StopWordSet stopWords = loadStopWords(environment);

  std::set<int32_t> labelled;
  for (const ClassificationResult& result : results) labelled.insert(result.articleId);
  const int32_t first = labelled.empty() ? 0 : *labelled.begin();
  const int32_t last = labelled.empty() ? -1 : *labelled.rbegin();
  OdbcConnection connection(environment.connectionString, "logLoss");
  const std::map<int32_t, std::string> stored =
      readStoredCategories(connection, allArticleCategoriesQuery(kTestingCorpusTable));

  LogLoss loss;
  double sum = 0.0;
  const double uniform = 1.0 / static_cast<double>(std::max<size_t>(1, description.categories.size()));
  SegmenterSession segmenter(environment);
  TokenizingOptions options;
  options.terms = description.terms;
  RowCursor rows = connection.execute(articleRangeQuery(kTestingCorpusTable, first, last));
  const std::unique_ptr<Model::Scratch> scratch = model->makeScratch();
  std::set<int32_t> seen;
  tokenizeRows(environment, rows, &tokenizeArticle, stopWords, options,
               [&](TokenizedArticle& article) {
                 if (!article.hasText || labelled.count(article.id) == 0) return;
                 auto category = stored.find(article.id);
                 if (category == stored.end() ||
                     std::find(description.categories.begin(), description.categories.end(),
                               category->second) == description.categories.end()) {
                   return;
                 }
                 // A repeated id counts once, as the predictions hold it once.
                 if (!seen.insert(article.id).second) return;
                 const ModelAnswer answer = model->answer(article.words, *scratch, false);
                 double probability = uniform;
                 if (!answer.labelled) {
                   ++loss.keywordless;
                 } else {
                   probability = 0.0;
                   for (const CategoryScore& score : answer.scores) {
                     if (score.category == category->second) probability = score.score;
                   }
                 }
                 sum += -std::log(std::max(probability, 1e-15));
                 ++loss.articles;
               });
  segmenter.stop();
  side.flush();
  loss.value = loss.articles == 0 ? 0.0 : sum / static_cast<double>(loss.articles);
  return loss;
}

std::string logLossLine(const LogLoss& loss) {
  char value[32];
  std::snprintf(value, sizeof value, "%.4f", loss.value);
  std::string line = std::string("log loss: ") + value + " over " +
                     std::to_string(loss.articles) +
                     " testing articles (logistic probabilities of the stored category)";
  if (loss.keywordless > 0) {
    line += ", " + std::to_string(loss.keywordless) + " without a keyword at 1/K";
  }
  return line;
}

}  // namespace newsclass
