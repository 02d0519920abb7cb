// Times the training vectors, the vector file's save and its load in process, best of several
// runs. With a data folder it uses that folder's dict.dat and keywords.dat; without one it
// makes a synthetic dictionary of a real corpus's size (1,213 training ids, 100,000 words with
// Zipf-like document frequencies, 1,000 keywords).
//
// With --model ARTICLESxKEYWORDS (32400x1000 is a large headline corpus) it times only the
// vector file, on a synthetic model of that size, and reports the peak memory of a load: the
// process's peak resident size from the load's start, next to the model's own size.
//
// --vector-format binary times the binary form instead of the text.
//
// usage: vsm_bench [--train-range A-B] [--runs N] [--model AxK] [--threads N]
//                  [--vector-format text|binary] [DATA_DIR]
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cmd_cli.h"
#include "processor/corpus_processor.h"

namespace {

using namespace newsclass;

double seconds(const std::chrono::steady_clock::time_point& start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// 100,000 words over ids first..last; word w is in about (last - first + 1) / (w + 1)^0.8
// articles with counts 1 to 4; the keywords are words of middling frequency, as a chi-square
// selection picks them.
void makeSyntheticData(Dictionary& dictionary, int32_t first, int32_t last,
                       const std::string& keywordPath) {
  std::mt19937 random(42);
  const int32_t articles = last - first + 1;
  std::vector<std::string> words;
  for (int w = 0; w < 100000; ++w) {
    std::string word = std::to_string(w);
    word.insert(word.begin(), 'w');
    int df = std::max(1, static_cast<int>(articles / std::pow(w + 1.0, 0.8)));
    PostingList& list = dictionary[word];
    for (int32_t id = first; id <= last && static_cast<int>(list.size()) < df; ++id) {
      if (static_cast<int>(random() % articles) < df) list.push_back({id, 1 + static_cast<int32_t>(random() % 4)});
    }
    if (list.empty()) list.push_back({first + static_cast<int32_t>(random() % articles), 1});
    words.push_back(word);
  }
  std::ofstream out(keywordPath);
  for (int k = 0; k < 1000; ++k) out << words[20 + k * 7] << "\n";
}

// Unit vectors shaped like TF-IDF ones: weight j is (p/M + 0.5) * idf_j / length, p a count that
// is mostly 0, so most weights of a vector are 0.5 * idf_j / length over a few dozen distinct idf.
VsmModel makeSyntheticModel(int32_t articles, int keywords) {
  std::mt19937 random(7);
  std::vector<double> idf(static_cast<size_t>(keywords));
  std::vector<int> maxCount(static_cast<size_t>(keywords));
  for (int j = 0; j < keywords; ++j) {
    const int df = 1 + static_cast<int>(random() % 40) * 20;
    idf[static_cast<size_t>(j)] = std::log(static_cast<double>(articles) / df);
    maxCount[static_cast<size_t>(j)] = 1 + static_cast<int>(random() % 6);
  }
  VsmModel model;
  for (int32_t id = 1; id <= articles; ++id) {
    WeightVector weights(static_cast<size_t>(keywords));
    double squares = 0;
    for (int j = 0; j < keywords; ++j) {
      const int m = maxCount[static_cast<size_t>(j)];
      const int p =
          random() % 100 < 2 ? 1 + static_cast<int>(random() % static_cast<unsigned>(m)) : 0;
      const double w = (static_cast<double>(p) / m + 0.5) * idf[static_cast<size_t>(j)];
      weights[static_cast<size_t>(j)] = w;
      squares += w * w;
    }
    const double length = std::sqrt(squares);
    for (double& w : weights) w /= length;
    model.emplace_hint(model.end(), id, std::move(weights));
  }
  return model;
}

// A size field of /proc/self/status ("VmHWM:", "VmRSS:"), in MB; -1 when it is missing.
double statusFieldMb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + field.size()) / 1024.0;
  }
  return -1;
}

// The peak resident size since the last resetPeakMemory, in MB.
double peakMemoryMb() { return statusFieldMb("VmHWM:"); }
double residentMemoryMb() { return statusFieldMb("VmRSS:"); }

void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

int benchVectorFile(CorpusProcessor& processor, const std::string& scratch, int32_t articles,
                    int keywords, int runs, int threads) {
  VsmModel model = makeSyntheticModel(articles, keywords);
  const std::string vectorPath = scratch + "/trainingVSM.dat";
  std::vector<double> save, load;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    processor.environment().threads = threads;
    processor.saveVsm(model, vectorPath);
    save.push_back(seconds(start));
    VsmModel loaded;
    start = std::chrono::steady_clock::now();
    processor.loadVsm(loaded, vectorPath);
    load.push_back(seconds(start));
    if (run == 0 && loaded != model) {
      // Not equal in general (six digits), but a second save must give the same bytes.
      const std::string again = scratch + "/again.dat";
      processor.saveVsm(loaded, again);
      if (std::filesystem::file_size(again) != std::filesystem::file_size(vectorPath)) {
        std::fprintf(stderr, "vsm_bench: saving the loaded model changed the file size\n");
        return 2;
      }
      std::filesystem::remove(again);
    }
  }
  const double modelMb =
      static_cast<double>(articles) * keywords * sizeof(double) / (1024.0 * 1024.0);
  model.clear();
  malloc_trim(0);
  const double before = residentMemoryMb();
  resetPeakMemory();
  VsmModel loaded;
  processor.loadVsm(loaded, vectorPath);
  const double peak = peakMemoryMb();
  std::printf("model %d x %d, %d thread(s): %.1f MB file, %.1f MiB of weights\n", articles,
              keywords, threads,
              static_cast<double>(std::filesystem::file_size(vectorPath)) / 1e6, modelMb);
  std::printf("best of %d: saveVsm %.4f s, loadVsm %.4f s (first run %.4f s, %.4f s)\n", runs,
              *std::min_element(save.begin(), save.end()),
              *std::min_element(load.begin(), load.end()), save[0], load[0]);
  std::printf("load memory: resident %.1f MiB before, peak %.1f MiB during, %.1f MiB above\n",
              before, peak, peak - before);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int32_t first = 1, last = 1213;
  int runs = 5;
  std::string dataDir;
  int32_t modelArticles = 0;
  int modelKeywords = 0;
  int threads = 1;
  VectorFormat format = VectorFormat::kText;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--train-range" && i + 1 < argc) {
      if (!parseIdRange(argv[++i], first, last)) {
        std::cerr << "vsm_bench: bad --train-range\n";
        return 1;
      }
    } else if (argument == "--model" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &modelArticles, &modelKeywords) != 2 ||
          modelArticles <= 0 || modelKeywords <= 0) {
        std::cerr << "vsm_bench: bad --model, expected ARTICLESxKEYWORDS\n";
        return 1;
      }
    } else if (argument == "--threads" && i + 1 < argc) {
      threads = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--vector-format" && i + 1 < argc) {
      format = std::string(argv[++i]) == "binary" ? VectorFormat::kBinary : VectorFormat::kText;
    } else if (argument == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      dataDir = argument;
    }
  }

  std::ostringstream discarded;
  Console console(discarded, ConsoleEncoding::kUtf8);
  Environment environment;
  environment.console = &console;
  environment.vectorFormat = format;
  CorpusProcessor processor(first, last, environment);

  const std::string scratch =
      (std::filesystem::temp_directory_path() / ("vsm_bench." + std::to_string(getpid()))).string();
  std::filesystem::create_directories(scratch);
  if (modelArticles > 0) {
    const int status =
        benchVectorFile(processor, scratch, modelArticles, modelKeywords, runs, threads);
    std::filesystem::remove_all(scratch);
    return status;
  }
  Dictionary dictionary;
  std::string keywordPath;
  if (dataDir.empty()) {
    keywordPath = scratch + "/keywords.dat";
    makeSyntheticData(dictionary, first, last, keywordPath);
    std::printf("synthetic dictionary: %zu words, ids %d-%d, 1000 keywords\n", dictionary.size(),
                first, last);
  } else {
    keywordPath = dataDir + "/keywords.dat";
    processor.loadDictionary(dictionary, dataDir + "/dict.dat");
    std::printf("%s: %zu words, ids %d-%d, %zu keywords\n", dataDir.c_str(), dictionary.size(),
                first, last, processor.readKeywords(keywordPath).size());
  }

  std::vector<double> build, save, load;
  VsmModel model;
  const std::string vectorPath = scratch + "/trainingVSM.dat";
  for (int run = 0; run < runs; ++run) {
    VsmModel fresh;
    auto start = std::chrono::steady_clock::now();
    processor.buildTrainingVsm(dictionary, fresh, keywordPath);
    build.push_back(seconds(start));
    start = std::chrono::steady_clock::now();
    processor.saveVsm(fresh, vectorPath);
    save.push_back(seconds(start));
    VsmModel loaded;
    start = std::chrono::steady_clock::now();
    processor.loadVsm(loaded, vectorPath);
    load.push_back(seconds(start));
    model = std::move(fresh);
  }
  auto best = [](const std::vector<double>& times) {
    return *std::min_element(times.begin(), times.end());
  };
  std::printf("first run: buildTrainingVsm %.4f s, saveVsm %.4f s, loadVsm %.4f s\n", build[0],
              save[0], load[0]);
  std::printf("best of %d: buildTrainingVsm %.4f s, saveVsm %.4f s, loadVsm %.4f s "
              "(%zu vectors, %.1f MB file)\n",
              runs, best(build), best(save), best(load), model.size(),
              static_cast<double>(std::filesystem::file_size(vectorPath)) / 1e6);
  std::filesystem::remove_all(scratch);
  return 0;
}
