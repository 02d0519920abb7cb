// Times the steps of a segmenter start with and without the lexicon cache: reading the word
// list, hashing it, compiling it, saving the cache, loading the cache, and the whole start from
// a warm cache. Each step runs REPEATS times (default 10); the first (in fresh memory, as in a
// new process), the fastest and the median wall times are printed, in milliseconds. The cache goes
// to a temporary folder that is removed afterwards.
//
//   lexicon_cache_bench LEXICON [REPEATS]
#include <xxhash.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/text_file_reader.h"
#include "bench/stopwatch.h"
#include "segmentation/lexicon_cache.h"

namespace {

void time(const char* step, int repeats, const std::function<void()>& run) {
  std::vector<double> wall;
  double first = 0;
  for (int i = 0; i < repeats; ++i) {
    newsclass::bench::Stopwatch watch;
    run();
    wall.push_back(watch.wallSeconds() * 1e3);
    if (i == 0) first = wall.back();
  }
  std::sort(wall.begin(), wall.end());
  std::printf("%-42s first %7.2f ms   fastest %7.2f ms   median %7.2f ms\n", step, first,
              wall.front(), wall[wall.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace newsclass;
  if (argc < 2) {
    std::fprintf(stderr, "usage: lexicon_cache_bench LEXICON [REPEATS]\n");
    return 1;
  }
  const std::string path = argv[1];
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  std::string bytes;
  if (tryReadTextFile(path, bytes)) {
    std::fprintf(stderr, "lexicon_cache_bench: cannot read %s\n", path.c_str());
    return 2;
  }
  LexiconSource source;
  if (!describeLexiconSource(path, bytes, source)) {
    std::fprintf(stderr, "lexicon_cache_bench: %s is not a regular file\n", path.c_str());
    return 2;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "lexicon-cache-bench-XXXXXX");
  if (mkdtemp(folder.data()) == nullptr) return 2;
  const std::string cacheFile = folder + "/" + lexiconCacheFileName(source.path);

  std::shared_ptr<CompiledLexicon> compiled = compileLexicon(bytes);
  if (!compiled) return 2;
  std::printf("%s: %zu bytes, %zu words, %zu trie nodes\n", path.c_str(), bytes.size(),
              compiled->words.wordCount(), compiled->words.nodeCount());
  time("read the word list", repeats, [&] {
    std::string fresh;
    tryReadTextFile(path, fresh);
  });
  uint64_t hash = 0;
  time("hash it (XXH3-64)", repeats, [&] { hash ^= XXH3_64bits(bytes.data(), bytes.size()); });
  time("compile it", std::min(repeats, 5), [&] { compiled = compileLexicon(bytes); });
  time("save the cache", std::min(repeats, 5),
       [&] { saveLexiconCache(cacheFile, source, *compiled); });
  std::printf("cache file: %ju bytes\n",
              static_cast<uintmax_t>(std::filesystem::file_size(cacheFile)));
  std::shared_ptr<CompiledLexicon> loaded;
  compiled.reset();
  time("load the cache (read, checksum, checks)", repeats,
       [&] { loaded = loadLexiconCache(cacheFile, source); });
  time("start from a warm cache (read list + all)", repeats, [&] {
    loaded.reset();
    std::string fresh;
    tryReadTextFile(path, fresh);
    loadLexiconThroughCache(path, fresh, folder, nullptr);
  });
  std::filesystem::remove_all(folder);
  return loaded && hash != 1 ? 0 : 2;
}
