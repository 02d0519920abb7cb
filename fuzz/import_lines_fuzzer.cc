// The corpus file of `import`: UTF-8 or GBK lines of split, category, title and text. Whatever
// the bytes, the parser returns articles that the database can store as they are (a split,
// a non-empty category without white space, fields without NUL bytes or line ends) or refuses
// the file naming it and the line.
#include <cstdint>
#include <string>

#include "corpusdb/corpus_import.h"
#include "fuzz/fuzz_support.h"

namespace {

bool holdsAny(const std::string& field, const std::string& bytes) {
  return field.find_first_of(bytes) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  const std::string bytes(fuzz::asBytes(data, size));
  const std::string fileName = "corpus.tsv";
  fuzz::expectAcceptedOrRefused(fileName, [&] {
    int previousLine = 0;
    for (const CorpusLine& line : parseCorpusFile(bytes, fileName)) {
      if (line.lineNumber <= previousLine) fuzz::fail("line numbers do not ascend");
      previousLine = line.lineNumber;
      if (line.category.empty() || holdsAny(line.category, std::string(" \t\r\n\v\f", 6))) {
        fuzz::fail("a category that is empty or holds white space was accepted");
      }
      for (const std::string* field : {&line.category, &line.title, &line.text}) {
        if (holdsAny(*field, std::string("\0\n\t", 3))) {
          fuzz::fail("a field holding NUL, a tab or a line end was accepted");
        }
      }
    }
  });
  return 0;
}
