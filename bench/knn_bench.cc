// Times the KNN classification of a synthetic test set: 600 testing against 6,000 training
// vectors of 1,000 weights by default (dense, unit length, with some identical training vectors
// so that ties occur). Prints the neighbour search alone, a check that its similarities and
// neighbour lists equal the plain per-article computation bit for bit, and the whole
// knnClassifyTestSet with one neighbour query per testing article against a temporary SQLite
// corpus.
//
// Usage: knn_bench [testing training weights k]   (defaults 600 6000 1000 10)
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

#include "bench/stopwatch.h"
#include "corpusdb/odbc_connection.h"
#include "driver/console.h"
#include "driver/corpus_processor.h"
#include "driver/environment.h"
#include "knn/neighbour_vote.h"
#include "knn/similarity.h"
#include "knn/test_set_run.h"

namespace nc = newsclass;

namespace {

// The categories the synthetic training articles are filed under, in vote-tie order.
const nc::CategoryList kCategories = {"history",  "culture",     "reading",
                                      "military", "society&law", "entertainment"};

using newsclass::bench::Stopwatch;

nc::VsmModel syntheticModel(std::mt19937_64& random, int count, int weights, int duplicateEvery) {
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  nc::VsmModel model;
  for (int id = 1; id <= count; ++id) {
    if (duplicateEvery > 0 && id % duplicateEvery == 0) {
      model[id] = model[id - 1];  // an identical vector: equal similarity, lower id first
      continue;
    }
    nc::WeightVector vector(static_cast<size_t>(weights));
    double sum = 0.0;
    for (double& w : vector) {
      w = uniform(random) < 0.7 ? 0.05 * uniform(random) : uniform(random);
      sum += w * w;
    }
    for (double& w : vector) w /= std::sqrt(sum);
    model[id] = std::move(vector);
  }
  return model;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

int main(int argc, char** argv) {
  int testing = argc > 1 ? std::atoi(argv[1]) : 600;
  int training = argc > 2 ? std::atoi(argv[2]) : 6000;
  int weights = argc > 3 ? std::atoi(argv[3]) : 1000;
  int k = argc > 4 ? std::atoi(argv[4]) : 10;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("knn_bench: %d testing x %d training vectors of %d weights, K = %d\n", testing,
              training, weights, k);

  std::mt19937_64 random(20240601);
  nc::VsmModel trainingModel = syntheticModel(random, training, weights, 97);
  nc::VsmModel testingModel = syntheticModel(random, testing, weights, 0);

  std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                 ("newsclass-knn-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  nc::Console console(std::cout, nc::ConsoleEncoding::kUtf8, true);
  nc::Environment environment;
  environment.connectionString = nc::sqliteConnectionString((folder / "corpus.db").string());
  environment.console = &console;
  nc::CorpusProcessor processor(1, training, environment);

  // The neighbour search alone.
  std::vector<std::vector<nc::NeighbourEntry>> fast;
  fast.reserve(testingModel.size());
  Stopwatch search;
  nc::forEachNeighbourList(trainingModel, testingModel, k,
                           [&fast](int32_t, const std::vector<nc::NeighbourEntry>& neighbours) {
                             fast.push_back(neighbours);
                           });
  double searchCpu = search.cpuSecondsSince();
  std::printf("neighbour search (similarities and top K): %.3f s processor time, %.3f s wall\n",
              searchCpu, search.wallSeconds());
  {
    nc::TrainingIndex::selectKernel(nc::TrainingIndex::Kernel::kSse2);
    Stopwatch sse2;
    size_t same = 0;
    size_t visited = 0;
    nc::forEachNeighbourList(
        trainingModel, testingModel, k,
        [&](int32_t, const std::vector<nc::NeighbourEntry>& neighbours) {
          const std::vector<nc::NeighbourEntry>& other = fast[visited++];
          bool equalList = neighbours.size() == other.size();
          for (size_t i = 0; equalList && i < neighbours.size(); ++i) {
            equalList = neighbours[i].articleId == other[i].articleId &&
                        sameBits(neighbours[i].similarity, other[i].similarity);
          }
          if (equalList) ++same;
        });
    std::printf("the same search with the SSE2 kernel: %.3f s processor time; %zu of %zu "
                "neighbour lists equal bit for bit\n",
                sse2.cpuSecondsSince(), same, fast.size());
    nc::TrainingIndex::selectKernel(nc::TrainingIndex::Kernel::kAuto);
  }

  // The plain computation of the same lists, for every fifth testing vector: cosineSimilarity per
  // pair and a stable sort.
  Stopwatch plain;
  size_t compared = 0;
  bool equal = true;
  nc::TrainingIndex index(trainingModel);
  std::vector<double> row(index.size());
  size_t t = 0;
  size_t lists = 0;
  for (const auto& [id, vector] : testingModel) {
    if (t++ % 5 != 0) continue;
    double self = nc::dotProduct(vector, vector);
    const nc::WeightVector* pointer = &vector;
    index.similarities(&pointer, &self, 1, row.data());
    std::vector<nc::NeighbourEntry> ranked = nc::rankNeighbours(vector, trainingModel);
    size_t j = 0;
    for (const auto& [trainingId, trainingVector] : trainingModel) {
      double expected = nc::cosineSimilarity(vector, trainingVector);
      if (!sameBits(row[j], expected) && equal) {
        std::printf("first difference: testing %d, training %d: %.17g against %.17g\n", id,
                    trainingId, row[j], expected);
        equal = false;
      }
      ++j;
      ++compared;
    }
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
  std::printf("check: %zu similarities and %zu neighbour lists of the fast path %s the plain "
              "loop bit for bit (plain path %.3f s)\n",
              compared, lists, equal ? "equal" : "DIFFER FROM", plain.cpuSecondsSince());

  // The whole stage, with one neighbour query per testing article.
  {
    nc::OdbcConnection connection(environment.connectionString, "knn_bench",
                                  nc::DatabaseCreation::kCreateIfMissing);
    connection.executeStatement(
        "CREATE TABLE TrainingCorpus (ArticleId INTEGER PRIMARY KEY, CArticleName TEXT, "
        "Categorization TEXT, CAbstract TEXT)");
    connection.beginTransaction();

    for (int id = 1; id <= training; ++id) {
      connection.executeWithParameters(
          "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract) "
          "VALUES (?, ?, ?, ?)",
          {std::to_string(id), std::string("t"), kCategories[static_cast<size_t>(id) % kCategories.size()], std::string("x")});
    }
    connection.commit();
  }
  nc::ClassificationResults results;
  Stopwatch stage;
  processor.knnClassifyTestSet("TrainingCorpus", trainingModel, testingModel,
                               kCategories, k, results);
  double stageCpu = stage.cpuSecondsSince();
  std::printf("knnClassifyTestSet: %.3f s processor time, %.3f s wall for %zu articles; of the "
              "processor time about %.3f s go to the %zu neighbour queries and votes\n",
              stageCpu, stage.wallSeconds(), results.size(), stageCpu - searchCpu,
              results.size());
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return equal ? 0 : 1;
}
