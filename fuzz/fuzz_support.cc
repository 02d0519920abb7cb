#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "base/encoding.h"

namespace newsclass::fuzz {
namespace {

Outcome outcome = Outcome::kNone;

// Removes the scratch folder when the process ends normally; a crashed run leaves it for the
// crash's inspection.
struct ScratchFolder {
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "newsclass-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot create a scratch folder");
    path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

}  // namespace

Outcome lastOutcome() { return outcome; }
void resetOutcome() { outcome = Outcome::kNone; }

const std::string& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path;
}

std::string writeScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = scratchFolder() + "/" + name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) fail("cannot write the scratch file " + path);
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written <= 0) fail("cannot write the scratch file " + path);
    done += static_cast<size_t>(written);
  }
  ::close(fd);
  return path;
}

std::string readScratchFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || !in.is_open()) fail("cannot read the scratch file " + path);
  return bytes;
}

VsmModel loadVectorsOn(CorpusProcessor& processor, const std::string& path, int threads) {
  processor.environment().threads = threads;
  VsmModel model;
  expectAcceptedOrRefused(path, [&] { processor.loadVsm(model, path); });
  return model;
}

void writeChecksum(std::string& bytes) {
  if (bytes.size() < 16) return;
  const uint64_t checksum = XXH3_64bits(bytes.data(), bytes.size() - 8);
  std::memcpy(bytes.data() + bytes.size() - 8, &checksum, 8);
}

const std::string& sampleText() {
  static const std::string text = userTextToGbk(
      "新华社北京3月5日电，中国科学院的研究人员在长江中下游发现了一种新的水稻品种，"
      "产量提高20%。NBA球队今晚在上海举行比赛——门票已售罄……");
  return text;
}

CorpusProcessor& quietProcessor() {
  struct Quiet {
    Quiet() : console(output, ConsoleEncoding::kGbk, true), environment(warnings) {
      setenv("NEWSCLASS_LEXICON_CACHE", "off", 1);
      setenv("NEWSCLASS_VECTOR_CACHE", "off", 1);
      environment.console = &console;
      environment.segmenter = &segmenter;
      environment.lexiconPath = scratchFolder() + "/no-lexicon";
      environment.userDictionaryPath = scratchFolder() + "/no-user-dictionary";
      environment.stopWordsPath = scratchFolder() + "/no-stop-words";
    }
    // Nothing written here is read; the streams only keep the loaders' messages from the
    // fuzzer's output. They are emptied on every use so that they do not grow.
    std::ostringstream output, warnings;
    Console console;
    Segmenter segmenter;
    Environment environment;
    CorpusProcessor processor{1, 120, environment};
  };
  static Quiet* quiet = new Quiet();
  quiet->output.str("");
  quiet->warnings.str("");
  return quiet->processor;
}

void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz target: %s\n", what.c_str());
  std::abort();
}

void accepted() { outcome = Outcome::kAccepted; }

void refused(const std::string& path, const std::string& message) {
  if (message.compare(0, path.size() + 1, path + ":") != 0) {
    fail("refused without naming " + path + ": " + message);
  }
  outcome = Outcome::kRefused;
}

}  // namespace newsclass::fuzz
