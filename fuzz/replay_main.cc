// Replays saved inputs through a fuzz target in the ordinary build, as a unit test: every file
// of the folders named (sorted by name) goes through LLVMFuzzerTestOneInput once. Inputs of a
// folder given after --accepted must also be accepted by the loader (the seeds: files the
// program itself wrote); other folders hold the inputs that once broke a loader, which must now
// be accepted or refused as the loader promises. A folder that does not exist, or a run with no
// input at all, fails: a replay of nothing would prove nothing.
// Usage: <target>_replay [--accepted DIR] [DIR] ...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const bool mustAccept = std::string(argv[i]) == "--accepted";
    if (mustAccept && ++i == argc) {
      std::fprintf(stderr, "replay: --accepted needs a folder\n");
      return 1;
    }
    const std::filesystem::path folder = argv[i];
    if (!std::filesystem::is_directory(folder)) {
      std::fprintf(stderr, "replay: %s: no such folder\n", folder.c_str());
      return 1;
    }
    for (const auto& file : filesIn(folder)) {
      std::ifstream in(file, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "replay: %s: cannot be read\n", file.c_str());
        return 1;
      }
      newsclass::fuzz::resetOutcome();
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      if (mustAccept && newsclass::fuzz::lastOutcome() != newsclass::fuzz::Outcome::kAccepted) {
        std::fprintf(stderr, "replay: %s: a seed the program wrote was not accepted\n",
                     file.c_str());
        return 1;
      }
      ++replayed;
    }
  }
  if (replayed == 0) {
    std::fprintf(stderr, "replay: no input to replay\n");
    return 1;
  }
  std::printf("replay: %zu inputs replayed\n", replayed);
  return 0;
}
