#include "testing/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "corpusdb/odbc_connection.h"

namespace newsclass::testing {
namespace {

// Test programs never read or write the user's caches: the tests of a cache turn it on with a
// temporary XDG_CACHE_HOME of their own.
const bool kCachesOff = setenv("NEWSCLASS_LEXICON_CACHE", "off", 1) == 0 &&
                        setenv("NEWSCLASS_VECTOR_CACHE", "off", 1) == 0;

}  // namespace

ScopedVariable::ScopedVariable(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  set(value);
}

ScopedVariable::~ScopedVariable() { set(old_ ? old_->c_str() : nullptr); }

void ScopedVariable::set(const char* value) {
  if (value != nullptr) {
    setenv(name_, value, 1);
  } else {
    unsetenv(name_);
  }
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "newsclass-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void createCorpusTables(const std::string& connectionString) {
  OdbcConnection connection(connectionString, "test setup", DatabaseCreation::kCreateIfMissing);
  for (const char* table : {"TrainingCorpus", "TestingCorpus"}) {
    connection.executeStatement(std::string("CREATE TABLE IF NOT EXISTS ") + table +
                                " (ArticleId INTEGER PRIMARY KEY, CArticleName TEXT, "
                                "Categorization TEXT, CAbstract TEXT)");
  }
}

void insertArticles(const std::string& connectionString, const std::string& table,
                    const std::vector<TestArticle>& articles) {
  OdbcConnection connection(connectionString, "test setup");
  connection.beginTransaction();
  for (const TestArticle& article : articles) {
    connection.executeWithParameters(
        "INSERT INTO " + table +
            " (ArticleId, CArticleName, Categorization, CAbstract) VALUES (?, ?, ?, ?)",
        {std::to_string(article.id), article.title, article.category, article.text});
  }
  connection.commit();
}

std::string segmentText(const Segmenter& segmenter, std::string_view text) {
  std::vector<std::string_view> words;
  segmenter.segmentInto(text, words);
  return joinWords(words);
}

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

TestEnvironment::TestEnvironment() : console(output, ConsoleEncoding::kGbk), environment(warnings) {
  environment.connectionString = sqliteConnectionString(dir.file("corpus.db"));
  environment.lexiconPath = dir.file("lexicon.txt");
  environment.userDictionaryPath = dir.file("dict.txt");
  environment.stopWordsPath = dir.file("stopwords.txt");
  environment.console = &console;
  environment.segmenter = &segmenter;
  createCorpusTables(environment.connectionString);
}

std::string TestEnvironment::takeOutput() {
  std::string text = output.str();
  output.str("");
  return text;
}

}  // namespace newsclass::testing
