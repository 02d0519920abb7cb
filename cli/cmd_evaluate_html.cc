// evaluate --format html: gathers what the page shows besides the report itself (the folder's
// model.json, the misclassified articles' titles, their nearest neighbours) and writes the page.
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cmd_evaluate.h"
#include "cli/cmd_model.h"
#include "cli/data_folder_files.h"
#include "cli/provenance.h"
#include "corpusdb/article_lookup.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "evaluation/html_report.h"
#include "knn/neighbour_categories.h"
#include "knn/neighbour_index.h"

namespace newsclass {
namespace {

std::vector<std::pair<std::string, std::string>> parametersOf(RunContext& context,
                                                              const Provenance& facts) {
  static const std::vector<std::pair<const char*, const char*>> kShown = {
      {"table", "corpus table"},     {"train_range", "training range"},
      {"test_range", "testing range"}, {"categories", "categories"},
      {"tokenizer", "tokenizer"},    {"measure", "measure"},
      {"count", "feature count"},    {"weighting", "weighting"},
      {"classifier", "classifier"},  {"k", "K"},
      {"vote", "vote"},              {"c", "C"}};
  std::vector<std::pair<std::string, std::string>> parameters;
  for (const auto& [key, label] : kShown) {
    auto found = facts.find(key);
    if (found != facts.end()) parameters.emplace_back(label, found->second);
  }
  if (facts.empty()) {
    parameters.emplace_back(kModelFactsFile, "none in the data folder (built before it existed)");
  }
  parameters.emplace_back("data folder", context.options().dataDir);
  char date[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
  parameters.emplace_back("date", date);
  return parameters;
}

// The K nearest training articles of each misclassified article, from the vector files; a note
// says why when they cannot be shown.
std::string addNeighbours(RunContext& context, CorpusProcessor& processor, const Provenance& facts,
                          std::vector<MisclassifiedArticle>& articles) {
  auto classifier = facts.find("classifier");
  if (classifier != facts.end() && classifier->second != "knn") {
    return "The " + classifier->second + " classifier has no neighbours.";
  }
  const std::string trainingPath = context.dataPath(kTrainingVectorsFile);
  const std::string testingPath = context.dataPath(kTestingVectorsFile);
  std::error_code error;
  if (!std::filesystem::is_regular_file(trainingPath, error) ||
      !std::filesystem::is_regular_file(testingPath, error)) {
    return "No vector files in the data folder: the neighbours are not shown.";
  }
  VsmModel training, testing;
  processor.loadVsm(training, trainingPath);
  processor.loadVsm(testing, testingPath);
  if (training.empty()) return "trainingVSM.dat holds no vectors: the neighbours are not shown.";
  auto recordedK = facts.find("k");
  const size_t k = std::min<size_t>(
      training.size(), recordedK == facts.end() ? 10 : std::stoul(recordedK->second));
  const NeighbourIndex index(training, processor.environment().threads);
  OdbcConnection connection(processor.environment().connectionString, "evaluate");
  const std::optional<NeighbourCategories> stored =
      NeighbourCategories::read(connection, kTrainingCorpusTable, index.ids());
  NeighbourIndex::Scratch scratch;
  std::vector<NeighbourEntry> neighbours;
  for (MisclassifiedArticle& article : articles) {
    auto vector = testing.find(article.id);
    if (vector == testing.end() || vector->second.size() != training.begin()->second.size()) continue;
    index.nearest(vector->second, static_cast<int>(k), scratch, neighbours);
    for (const NeighbourEntry& neighbour : neighbours) {
      std::vector<std::string> categories = stored ? stored->of({neighbour}) : std::vector<std::string>{};
      article.neighbours.emplace_back(neighbour.articleId,
                                      categories.empty() ? std::string("?") : categories.front());
    }
  }
  return "";
}

}  // namespace

std::string evaluationPage(RunContext& context, CorpusProcessor& processor,
                           const EvaluationReport& report, const ClassificationResults& results) {
  const Provenance facts = readModelFacts(context);
  HtmlReportInput input;
  input.parameters = parametersOf(context, facts);
  // The stored category of every testing article, then the misclassified ones in order.
  std::map<int32_t, std::string> stored;
  {
    OdbcConnection connection(processor.environment().connectionString, "evaluate");
    stored = readStoredCategories(connection, allArticleCategoriesQuery(kTestingCorpusTable));
  }
  for (const ClassificationResult& result : results) {
    auto found = stored.find(result.articleId);
    if (found == stored.end() || found->second == result.predictedCategory) continue;
    ++input.misclassifiedTotal;
    if (input.misclassified.size() == kShownMisclassifiedArticles) continue;
    MisclassifiedArticle article;
    article.id = result.articleId;
    article.stored = found->second;
    article.predicted = result.predictedCategory;
    ArticleRecord record;
    if (fetchArticleRecord(result.articleId, kTestingCorpusTable, record, processor)) {
      article.title = record.articleName;
    }
    input.misclassified.push_back(std::move(article));
  }
  input.neighboursNote = addNeighbours(context, processor, facts, input.misclassified);
  return formatReportHtml(report, input);
}

}  // namespace newsclass
