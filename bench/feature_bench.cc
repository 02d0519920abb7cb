// Times the contingency table and the feature selection on a synthetic corpus of the size of the
// fudan6 training set: 1,213 articles in six categories and 100,000 words whose document
// frequencies follow a Zipf-like law (30 postings a word on average; fudan6 has about 11). Prints,
// for each step, the wall time and the processor time (on a busy machine the second tells what one
// core needs): the counting core of the contingency table, saving and loading contingency.dat, the
// DF selection and the four per-category selections (count queries against a temporary SQLite
// corpus).
//
// Usage: feature_bench [articles words average-postings]   (defaults 1213 100000 30)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/console.h"
#include "bench/stopwatch.h"
#include "contingency/contingency_counting.h"
#include "corpusdb/odbc_connection.h"
#include "features/feature_selection.h"
#include "processor/corpus_processor.h"
#include "processor/environment.h"

namespace nc = newsclass;

namespace {

using newsclass::bench::Stopwatch;

const std::vector<std::string> kCategories = {"space",       "art",    "environment",
                                              "agriculture", "sports", "history"};

std::string categoryOf(int32_t id) {
  return kCategories[static_cast<size_t>(id) % kCategories.size()];
}

// Document frequency of the word of frequency rank r: scale / r^0.7, between 1 and `articles`.
int documentFrequency(double scale, int rank, int articles) {
  const double df = scale / std::pow(static_cast<double>(rank), 0.7);
  return static_cast<int>(std::clamp(df, 1.0, static_cast<double>(articles)));
}

// Words of 2 to 4 GBK characters with Zipf-like document frequencies whose mean is
// `averagePostings`; ranks are shuffled over the words, so frequency does not follow word order.
nc::Dictionary syntheticDictionary(int articles, int words, double averagePostings,
                                   std::mt19937_64& random) {
  nc::Dictionary dictionary;
  std::uniform_int_distribution<int> byte(0xB0, 0xF7), trail(0xA1, 0xFE), length(2, 4);
  std::uniform_int_distribution<int32_t> article(1, articles);
  while (static_cast<int>(dictionary.size()) < words) {
    std::string word;
    for (int i = length(random); i > 0; --i) {
      word += static_cast<char>(byte(random));
      word += static_cast<char>(trail(random));
    }
    dictionary.emplace(std::move(word), nc::PostingList{});
  }
  double low = 1.0, high = 1e9;
  for (int step = 0; step < 60; ++step) {
    const double scale = (low + high) / 2;
    double total = 0;
    for (int rank = 1; rank <= words; ++rank) total += documentFrequency(scale, rank, articles);
    (total / words < averagePostings ? low : high) = scale;
  }
  std::vector<int> ranks(static_cast<size_t>(words));
  for (int i = 0; i < words; ++i) ranks[static_cast<size_t>(i)] = i + 1;
  std::shuffle(ranks.begin(), ranks.end(), random);
  size_t index = 0;
  for (auto& [word, postings] : dictionary) {
    const int df = documentFrequency(low, ranks[index++], articles);
    // Distinct articles in processing order, as a dictionary build makes them.
    std::vector<int32_t> ids(static_cast<size_t>(articles));
    for (int i = 0; i < articles; ++i) ids[static_cast<size_t>(i)] = i + 1;
    for (int i = 0; i < df; ++i) {
      std::uniform_int_distribution<int> pick(i, articles - 1);
      std::swap(ids[static_cast<size_t>(i)], ids[static_cast<size_t>(pick(random))]);
    }
    std::sort(ids.begin(), ids.begin() + df);
    for (int i = 0; i < df; ++i) postings.push_back({ids[static_cast<size_t>(i)], 1 + i % 3});
  }
  return dictionary;
}

}  // namespace

int main(int argc, char** argv) {
  const int articles = argc > 1 ? std::atoi(argv[1]) : 1213;
  const int words = argc > 2 ? std::atoi(argv[2]) : 100000;
  const double averagePostings = argc > 3 ? std::atof(argv[3]) : 30.0;
  std::mt19937_64 random(1213);

  char folder[] = "/tmp/feature-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string dir = folder;
  std::ostringstream consoleOutput;
  nc::Console console(consoleOutput, nc::ConsoleEncoding::kGbk);
  nc::Environment environment;
  environment.connectionString = nc::sqliteConnectionString(dir + "/corpus.db");
  environment.console = &console;
  std::ofstream(dir + "/corpus.db").close();  // the SQLite driver opens existing files only
  {
    nc::OdbcConnection connection(environment.connectionString, "feature_bench");
    connection.executeStatement(
        "CREATE TABLE TrainingCorpus (ArticleId INTEGER PRIMARY KEY, CArticleName TEXT, "
        "Categorization TEXT, CAbstract TEXT)");
    connection.beginTransaction();
    for (int32_t id = 1; id <= articles; ++id) {
      connection.executeWithParameters("INSERT INTO TrainingCorpus VALUES (?, 't', ?, 'x')",
                                       {std::to_string(id), categoryOf(id)});
    }
    connection.commit();
  }
  nc::CorpusProcessor processor(1, articles, environment);

  const nc::Dictionary dictionary = syntheticDictionary(articles, words, averagePostings, random);
  size_t postings = 0;
  for (const auto& entry : dictionary) postings += entry.second.size();
  std::printf("%d articles, %zu words, %zu postings (%.1f a word)\n", articles, dictionary.size(),
              postings, static_cast<double>(postings) / static_cast<double>(dictionary.size()));

  nc::CategoryArticles categoryArticles;
  for (int32_t id = 1; id <= articles; ++id) categoryArticles[categoryOf(id)].push_back(id);

  nc::ContingencyTable table;
  {
    Stopwatch clock;
    nc::countContingencyCells(dictionary, categoryArticles, table);
    clock.report("contingency counting");
  }
  {
    nc::ContingencyTable fromDatabase;
    Stopwatch clock;
    processor.buildContingencyTable(dictionary, kCategories, fromDatabase, "TrainingCorpus");
    clock.report("buildContingencyTable (with DB)");
    if (fromDatabase != table) std::printf("MISMATCH between the two builds\n");
  }
  std::printf("%zu cells\n", table.size());
  const std::string path = dir + "/contingency.dat";
  {
    Stopwatch clock;
    processor.saveContingencyTable(table, path);
    clock.report("saveContingencyTable");
  }
  {
    nc::ContingencyTable loaded;
    Stopwatch clock;
    processor.loadContingencyTable(loaded, path);
    clock.report("loadContingencyTable");
    if (loaded != table) std::printf("MISMATCH after the round trip\n");
  }
  {
    Stopwatch clock;
    processor.selectByDfThreshold(dictionary, 1000, dir + "/keywords.dat");
    clock.report("selectByDfThreshold 1000");
  }
  {
    Stopwatch clock;
    for (const std::string& category : kCategories) {
      processor.countCategoryArticles(category, "TrainingCorpus");
    }
    clock.report("6 x countCategoryArticles");
  }
  {
    nc::ContingencyTable copy = table;
    Stopwatch clock;
    const nc::RankingInput input = nc::gatherRankingInput(dictionary, copy, kCategories);
    clock.report("gatherRankingInput (6 categories)");
    Stopwatch top;
    for (const std::string& category : kCategories) {
      nc::rankWords(nc::FeatureMeasure::kChiSquare, input, category, processor.rangeSize(), 166);
    }
    top.report("6 x rankWords chi, top 166");
    Stopwatch full;
    for (const std::string& category : kCategories) {
      nc::rankWords(nc::FeatureMeasure::kChiSquare, input, category, processor.rangeSize());
    }
    full.report("6 x rankWords chi, whole ranking");
  }
  const struct {
    const char* name;
    nc::FeatureMeasure measure;
  } measures[] = {{"select chi 1000", nc::FeatureMeasure::kChiSquare},
                  {"select ig 1000", nc::FeatureMeasure::kInformationGain},
                  {"select mi 1000", nc::FeatureMeasure::kMutualInformation},
                  {"select cf 1000", nc::FeatureMeasure::kCategoryFrequency}};
  for (const auto& entry : measures) {
    Stopwatch clock;
    nc::selectFeatures(processor.environment(), processor.range(), entry.measure, kCategories, dictionary, table, 1000,
                       dir + "/keywords.dat");
    clock.report(entry.name);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
