// Times the segmenter alone: the lexicon load, and segmentation of a text held in memory (no
// file or console I/O, no encoding conversion inside the timed loop).
//
//   segmenter_bench LEXICON TEXT [MEGABYTES]
//
// TEXT is UTF-8 or GBK, one sentence a line. Its lines are segmented over and over until at least
// MEGABYTES (default 20) of UTF-8-equivalent text have been cut; the speed is given in MB of the
// UTF-8 form of the text per second (1 MB = 1,000,000 bytes).
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/encoding.h"
#include "base/text_file_reader.h"
#include "segmentation/segmenter.h"

namespace {

// Wall-clock and processor time together: on a shared machine the processor time of this
// process is the steadier figure.
struct Stopwatch {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu = cpuSeconds();
  static double cpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }
  double wallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  }
  double cpuSecondsSince() const { return cpuSeconds() - cpu; }
};

}  // namespace

int main(int argc, char** argv) {
  using newsclass::Segmenter;
  if (argc < 3) {
    std::fprintf(stderr, "usage: segmenter_bench LEXICON TEXT [MEGABYTES]\n");
    return 1;
  }
  double megabytes = argc > 3 ? std::atof(argv[3]) : 20.0;

  Segmenter segmenter;
  Stopwatch load;
  if (!segmenter.start(argv[1])) {
    std::fprintf(stderr, "segmenter_bench: cannot load the lexicon %s\n", argv[1]);
    return 2;
  }
  double loadWall = load.wallSeconds(), loadCpu = load.cpuSecondsSince();
  Stopwatch reload;
  segmenter.start(argv[1]);
  double reloadWall = reload.wallSeconds();

  std::string bytes;
  if (newsclass::tryReadTextFile(argv[2], bytes)) {
    std::fprintf(stderr, "segmenter_bench: cannot read %s\n", argv[2]);
    return 2;
  }
  std::string text = newsclass::userTextToGbk(bytes);
  double utf8Bytes = static_cast<double>(newsclass::gbkToUtf8(text).size());
  std::vector<std::string_view> lines;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
  }

  std::vector<std::string_view> words;
  size_t passes = 0, wordCount = 0;
  Stopwatch cut;
  while (passes == 0 || passes * utf8Bytes < megabytes * 1e6) {
    for (std::string_view line : lines) {
      words.clear();
      segmenter.segmentInto(line, words);
      wordCount += words.size();
    }
    ++passes;
  }
  double cutWall = cut.wallSeconds(), cutCpu = cut.cpuSecondsSince();
  double total = static_cast<double>(passes) * utf8Bytes / 1e6;
  std::printf("lexicon load: %.3f s wall, %.3f s processor (%zu words; a second start with the "
              "same file: %.3f s)\n",
              loadWall, loadCpu, segmenter.lexiconWordCount(), reloadWall);
  std::printf("segmentation: %.1f MB of UTF-8 text, %zu words: %.3f s wall = %.2f MB/s, "
              "%.3f s processor = %.2f MB/s\n",
              total, wordCount, cutWall, total / cutWall, cutCpu, total / cutCpu);
  return 0;
}
