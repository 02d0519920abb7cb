// Times the training vectors, the vector file's save and its load in process, best of several
// runs. With a data folder it uses that folder's dict.dat and keywords.dat; without one it
// makes a synthetic dictionary of a real corpus's size (1,213 training ids, 100,000 words with
// Zipf-like document frequencies, 1,000 keywords).
//
// usage: vsm_bench [--train-range A-B] [--runs N] [DATA_DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/cmd_cli.h"
#include "driver/corpus_processor.h"

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

}  // namespace

int main(int argc, char** argv) {
  int32_t first = 1, last = 1213;
  int runs = 5;
  std::string dataDir;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--train-range" && i + 1 < argc) {
      if (!parseIdRange(argv[++i], first, last)) {
        std::cerr << "vsm_bench: bad --train-range\n";
        return 1;
      }
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
  CorpusProcessor processor(first, last, environment);

  const std::string scratch =
      (std::filesystem::temp_directory_path() / ("vsm_bench." + std::to_string(getpid()))).string();
  std::filesystem::create_directories(scratch);
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
