// The lexicon cache: any file in the cache folder is used only when it is a lexicon the
// segmenter can walk safely, and otherwise set aside. Before loading, the target makes the
// bytes stand for a word list (the one their own key names) and gives them a right
// checksum, so that the checks behind those two (sizes, trie indexes, values) see the input.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "segmentation/compiled_lexicon.h"
#include "segmentation/lexicon_cache.h"
#include "segmentation/segmenter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  std::string bytes(fuzz::asBytes(data, size));
  // The word list this cache claims, from its key (base/cache_file.h): the key's length at
  // offset 24; the key from 40, the list's size, time and hash, then its path.
  LexiconSource source;
  const uint64_t keySize = fuzz::fieldAt<uint64_t>(bytes, 24);
  source.size = fuzz::fieldAt<uint64_t>(bytes, 40);
  source.modifiedNs = fuzz::fieldAt<int64_t>(bytes, 48);
  source.contentHash = fuzz::fieldAt<uint64_t>(bytes, 56);
  if (keySize >= 24 && keySize <= bytes.size() && 40 + keySize <= bytes.size()) {
    source.path = bytes.substr(64, keySize - 24);
  }
  fuzz::writeChecksum(bytes);
  const std::string cacheFile = fuzz::writeScratchFile("words.lexicon", bytes);
  std::string reason;
  const std::shared_ptr<CompiledLexicon> lexicon = loadLexiconCache(cacheFile, source, &reason);
  if (lexicon == nullptr) {
    if (reason.empty()) fuzz::fail("a lexicon cache was set aside without a reason");
    fuzz::accepted();
    return 0;
  }
  Segmenter segmenter;
  segmenter.start(lexicon);
  std::vector<std::string_view> words;
  segmenter.segmentInto(fuzz::sampleText(), words);
  segmenter.segmentInto(source.path, words);
  fuzz::accepted();
  return 0;
}
