// Times the KNN classification of a test set: by default 600 synthetic testing against 6,000
// training vectors of 1,000 weights, shaped as the weighting shapes them (a few keywords per
// article, every other keyword at its base weight; some training vectors repeated so that ties
// occur), or the vectors of two vector files. Prints the neighbour search alone, the plain loop
// (cosineSimilarity for every pair and a stable sort) on every fifth testing vector, a check that
// both give the same neighbour lists bit for bit, and the whole knnClassifyTestSet with one
// neighbour query per testing article against a temporary SQLite corpus.
//
// Usage: knn_bench [testing training weights k]   (defaults 600 6000 1000 10)
//        knn_bench --files TRAINING.dat TESTING.dat [k]
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/console.h"
#include "bench/stopwatch.h"
#include "corpusdb/odbc_connection.h"
#include "knn/neighbour_index.h"
#include "knn/neighbour_vote.h"
#include "knn/similarity.h"
#include "knn/test_set_run.h"
#include "processor/corpus_processor.h"
#include "processor/environment.h"

namespace nc = newsclass;

namespace {

// The categories the synthetic training articles are filed under, in vote-tie order.
const nc::CategoryList kCategories = {"history",  "culture",     "reading",
                                      "military", "society&law", "entertainment"};

using newsclass::bench::Stopwatch;

// Keyword i weighs (tf / M_i + 0.5) * idf_i, the vector divided by its length; each article
// holds up to eight keywords, mostly from its topic's share of the keywords.
nc::VsmModel syntheticModel(std::mt19937_64& random, int count, int weights, int duplicateEvery,
                            bool counts) {
  std::mt19937_64 corpusRandom(99);  // the same keyword statistics for both models
  std::uniform_int_distribution<int> df(1, 500), maxCount(1, 4), length(1, 8), topic(0, 19);
  std::vector<double> idf(static_cast<size_t>(weights));
  std::vector<int> m(static_cast<size_t>(weights));
  for (int i = 0; i < weights; ++i) {
    idf[static_cast<size_t>(i)] = std::log(6000.0 / df(corpusRandom));
    m[static_cast<size_t>(i)] = maxCount(corpusRandom);
  }
  std::uniform_int_distribution<int> anyKeyword(0, weights - 1);
  const int slice = std::max(1, weights / 20);
  nc::VsmModel model;
  for (int id = 1; id <= count; ++id) {
    if (duplicateEvery > 0 && id % duplicateEvery == 0) {
      model[id] = model[id - 1];  // an identical vector: equal similarity, lower id first
      continue;
    }
    std::vector<int> tf(static_cast<size_t>(weights), 0);
    int first = std::min(topic(random) * slice, weights - slice);
    std::uniform_int_distribution<int> topicKeyword(first, first + slice - 1);
    for (int w = length(random); w > 0; --w) {
      auto i = static_cast<size_t>(w % 3 == 0 ? anyKeyword(random) : topicKeyword(random));
      tf[i] = counts ? tf[i] + 1 : 1;
    }
    nc::WeightVector vector(static_cast<size_t>(weights));
    double sum = 0.0;
    for (size_t i = 0; i < vector.size(); ++i) {
      vector[i] = (tf[i] / static_cast<double>(m[i]) + 0.5) * idf[i];
      sum += vector[i] * vector[i];
    }
    for (double& w : vector) w /= std::sqrt(sum);
    model[id] = std::move(vector);
  }
  return model;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("newsclass-knn-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  nc::Console console(std::cout, nc::ConsoleEncoding::kUtf8, true);
  nc::Environment environment;
  environment.connectionString = nc::sqliteConnectionString((folder / "corpus.db").string());
  environment.console = &console;

  nc::VsmModel trainingModel, testingModel;
  int k = 10;
  if (argc > 1 && std::string(argv[1]) == "--files") {
    if (argc < 4) {
      std::fprintf(stderr, "usage: knn_bench --files TRAINING.dat TESTING.dat [k]\n");
      return 2;
    }
    nc::CorpusProcessor loader(1, 1, environment);
    loader.loadVsm(trainingModel, argv[2]);
    loader.loadVsm(testingModel, argv[3]);
    if (argc > 4) k = std::atoi(argv[4]);
  } else {
    int testing = argc > 1 ? std::atoi(argv[1]) : 600;
    int training = argc > 2 ? std::atoi(argv[2]) : 6000;
    int weights = argc > 3 ? std::atoi(argv[3]) : 1000;
    if (argc > 4) k = std::atoi(argv[4]);
    std::mt19937_64 random(20240601);
    trainingModel = syntheticModel(random, training, weights, 97, false);
    testingModel = syntheticModel(random, testing, weights, 0, true);
  }
  const size_t weights = trainingModel.empty() ? 0 : trainingModel.begin()->second.size();
  std::printf("knn_bench: %zu testing x %zu training vectors of %zu weights, K = %d\n",
              testingModel.size(), trainingModel.size(), weights, k);
  nc::CorpusProcessor processor(1, static_cast<int>(trainingModel.size()), environment);

  // The neighbour search alone.
  std::vector<std::vector<nc::NeighbourEntry>> fast;
  fast.reserve(testingModel.size());
  Stopwatch search;
  nc::forEachNeighbourList(trainingModel, testingModel, k,
                           [&fast](int32_t, const std::vector<nc::NeighbourEntry>& neighbours) {
                             fast.push_back(neighbours);
                           });
  double searchCpu = search.cpuSecondsSince();
  std::printf("neighbour search (index, bounds, plain sums for the candidates): %.3f s processor "
              "time, %.3f s wall\n",
              searchCpu, search.wallSeconds());
  {
    Stopwatch built;
    nc::NeighbourIndex index(trainingModel);
    std::printf("of which building the index: %.3f s\n", built.cpuSecondsSince());
    nc::NeighbourIndex::Scratch scratch;
    std::vector<nc::NeighbourEntry> neighbours;
    for (const auto& [id, vector] : testingModel) index.nearest(vector, k, scratch, neighbours);
    std::printf("distinct training vectors: %zu\n", index.distinctCount());
    std::printf("plain sums computed: %zu of %zu pairs (%.2f per testing vector)\n",
                scratch.exactComputations, testingModel.size() * trainingModel.size(),
                static_cast<double>(scratch.exactComputations) /
                    static_cast<double>(std::max<size_t>(1, testingModel.size())));
  }

  // The plain computation of the same lists, for every fifth testing vector: cosineSimilarity per
  // pair and a stable sort.
  Stopwatch plain;
  bool equal = true;
  size_t t = 0;
  size_t lists = 0;
  for (const auto& [id, vector] : testingModel) {
    if (t++ % 5 != 0) continue;
    std::vector<nc::NeighbourEntry> ranked = nc::rankNeighbours(vector, trainingModel);
    const std::vector<nc::NeighbourEntry>& found = fast[t - 1];
    for (int i = 0; i < k; ++i) {
      if (equal && (found[i].articleId != ranked[i].articleId ||
                    !sameBits(found[i].similarity, ranked[i].similarity))) {
        std::printf("first difference: testing %d, neighbour %d: %d (%.17g) against %d (%.17g)\n",
                    id, i, found[i].articleId, found[i].similarity, ranked[i].articleId,
                    ranked[i].similarity);
        equal = false;
      }
    }
    ++lists;
  }
  double plainCpu = plain.cpuSecondsSince();
  std::printf("check: %zu neighbour lists of the index %s the plain loop bit for bit (plain loop "
              "%.3f s for them, about %.3f s for all: %.1fx the index)\n",
              lists, equal ? "equal" : "DIFFER FROM", plainCpu,
              plainCpu * static_cast<double>(testingModel.size()) / static_cast<double>(lists),
              plainCpu * static_cast<double>(testingModel.size()) / static_cast<double>(lists) /
                  searchCpu);

  // The whole stage, with one neighbour query per testing article.
  {
    nc::OdbcConnection connection(environment.connectionString, "knn_bench",
                                  nc::DatabaseCreation::kCreateIfMissing);
    connection.executeStatement(
        "CREATE TABLE TrainingCorpus (ArticleId INTEGER PRIMARY KEY, CArticleName TEXT, "
        "Categorization TEXT, CAbstract TEXT)");
    connection.beginTransaction();
    for (const auto& [id, vector] : trainingModel) {
      connection.executeWithParameters(
          "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract) "
          "VALUES (?, ?, ?, ?)",
          {std::to_string(id), std::string("t"),
           kCategories[static_cast<size_t>(id) % kCategories.size()], std::string("x")});
    }
    connection.commit();
  }
  nc::ClassificationResults results;
  Stopwatch stage;
  processor.knnClassifyTestSet("TrainingCorpus", trainingModel, testingModel, kCategories, k,
                               results);
  double stageCpu = stage.cpuSecondsSince();
  std::printf("knnClassifyTestSet: %.3f s processor time, %.3f s wall for %zu articles; of the "
              "processor time about %.3f s go to the %zu neighbour queries and votes\n",
              stageCpu, stage.wallSeconds(), results.size(), stageCpu - searchCpu,
              results.size());
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return equal ? 0 : 1;
}
