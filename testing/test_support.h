// Test fixtures shared by the test programs: a temporary folder, a temporary SQLite corpus
// database holding both corpus tables, and an environment whose console captures GBK bytes.
#ifndef NEWSCLASS_TESTING_TEST_SUPPORT_H_
#define NEWSCLASS_TESTING_TEST_SUPPORT_H_

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/console.h"
#include "processor/corpus_processor.h"
#include "processor/environment.h"
#include "segmentation/segmenter.h"

namespace newsclass::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets an environment variable (nullptr: unsets it) and restores it at the end of the scope.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  void set(const char* value);
  const char* name_;
  std::optional<std::string> old_;
};

// One corpus row; text fields are GBK bytes.
struct TestArticle {
  int32_t id;
  std::string title;
  std::string category;
  std::string text;
};

// Creates TrainingCorpus and TestingCorpus (ArticleId, CArticleName, Categorization, CAbstract)
// when missing, and a SQLite database file when it does not exist yet.
void createCorpusTables(const std::string& connectionString);
void insertArticles(const std::string& connectionString, const std::string& table,
                    const std::vector<TestArticle>& articles);

// The segmenter's words of a GBK text joined by two spaces, as the segmenting stages see them.
std::string segmentText(const Segmenter& segmenter, std::string_view text);

// Reads a whole file as bytes; fails the test when it cannot be opened.
std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);

// An environment for one test: a SQLite database corpus.db in a temporary folder with both
// tables created empty, a console writing GBK bytes into `output`, warnings into `warnings`,
// a segmenter, and stop words, user dictionary and lexicon paths inside the temporary folder
// (files that do not exist until a test writes them).
struct TestEnvironment {
  TestEnvironment();
  CorpusProcessor processor(int32_t first, int32_t last) {
    return CorpusProcessor(first, last, environment);
  }
  // Everything the console received so far, and clears it.
  std::string takeOutput();

  TempDir dir;
  std::ostringstream output;
  std::ostringstream warnings;
  Console console;
  Segmenter segmenter;
  Environment environment;
};

}  // namespace newsclass::testing

#endif  // NEWSCLASS_TESTING_TEST_SUPPORT_H_
