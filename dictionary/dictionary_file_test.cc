#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "dictionary/dictionary_file.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::readFileBytes;
using testing::TestEnvironment;
using testing::writeFileBytes;

class DictionaryFileTest : public ::testing::Test {
 protected:
  Dictionary loadBytes(const std::string& fileBytes, Dictionary dictionary = {}) {
    writeFileBytes(path, fileBytes);
    processor.loadDictionary(dictionary, path);
    return dictionary;
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
  std::string path = env.dir.file("dict.dat");
};

TEST_F(DictionaryFileTest, ExactBytesInByteOrderOfWords) {
  Dictionary dictionary;
  dictionary[gbk("中国")] = {{1, 1}};
  dictionary["b"] = {{-5, 10}};
  dictionary["a"] = {{3, 1}, {17, 2}};
  dictionary["c"] = {};
  processor.saveDictionary(dictionary, path);
  EXPECT_EQ(readFileBytes(path),
            "4\n"
            "a\n2\n3 1 ; 17 2 ; \n"
            "b\n1\n-5 10 ; \n"
            "c\n0\n\n"
            "\xD6\xD0\xB9\xFA\n1\n1 1 ; \n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(DictionaryFileTest, EmptyDictionaryIsOneLineAndLoadsNothing) {
  processor.saveDictionary({}, path);
  EXPECT_EQ(readFileBytes(path), "0\n");
  Dictionary loaded{{"kept", {{7, 7}}}};
  processor.loadDictionary(loaded, path);
  EXPECT_EQ(loaded, (Dictionary{{"kept", {{7, 7}}}}));
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(DictionaryFileTest, SaveReplacesTheWholeFile) {
  writeFileBytes(path, std::string(10000, 'x'));
  processor.saveDictionary({{"a", {{1, 2}}}}, path);
  EXPECT_EQ(readFileBytes(path), "1\na\n1\n1 2 ; \n");
}

TEST_F(DictionaryFileTest, SaveThatCannotWriteIsAnErrorNamingTheFile) {
  // A folder stands where the file should go: it cannot be replaced.
  const std::string badPath = env.dir.file("dict.dat");
  std::filesystem::create_directories(badPath + "/inside");
  try {
    processor.saveDictionary({{"a", {{1, 2}}}}, badPath);
    FAIL() << "no error";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(badPath + ": ", 0), 0u) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_directory(badPath + "/inside"));
  EXPECT_FALSE(std::filesystem::exists(badPath + ".tmp"));
}

TEST_F(DictionaryFileTest, RoundTripKeepsWordsPostingOrderAndCounts) {
  // Enough words to cross the writer's block boundaries several times.
  Dictionary dictionary;
  std::mt19937 random(11);
  std::uniform_int_distribution<int32_t> id(-100000, 2147483647);
  std::uniform_int_distribution<int32_t> count(1, 2147483647);
  for (int i = 0; i < 20000; ++i) {
    PostingList& list = dictionary[gbk("词") + std::to_string(i * 7919 % 20000)];
    // Ids of one list are distinct and not in order, as the query's row order may give them.
    for (int k = i % 5; k > 0; --k) list.push_back({id(random) - k, count(random)});
  }
  dictionary["max"] = {{2147483647, 2147483647}, {-2147483647 - 1, 1}};
  processor.saveDictionary(dictionary, path);
  Dictionary loaded;
  processor.loadDictionary(loaded, path);
  EXPECT_EQ(loaded, dictionary);
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(DictionaryFileTest, LastRecordReadWithoutFinalLineEnd) {
  EXPECT_EQ(loadBytes("2\na\n1\n3 1 ; \nb\n2\n4 2 ; 5 1 ;"),
            (Dictionary{{"a", {{3, 1}}}, {"b", {{4, 2}, {5, 1}}}}));
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(DictionaryFileTest, CarriageReturnsAreWhiteSpace) {
  EXPECT_EQ(loadBytes("2\r\na\r\n1\r\n3 1 ; \r\nb\r\n0\r\n\r\n"),
            (Dictionary{{"a", {{3, 1}}}, {"b", {}}}));
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(DictionaryFileTest, HeaderDoesNotBoundTheRecordsAndLastRecordOfAWordWins) {
  Dictionary before{{"a", {{9, 9}}}, {"z", {{8, 8}}}};
  EXPECT_EQ(loadBytes("1\na\n1\n1 1 ; \nb\n1\n2 2 ; \nb\n1\n3 3 ; \n", before),
            (Dictionary{{"a", {{1, 1}}}, {"b", {{3, 3}}}, {"z", {{8, 8}}}}));
}

TEST_F(DictionaryFileTest, RecordCutOffOrMalformedIsRefusedAndLoadsNothing) {
  const std::string complete = "3\na\n1\n3 1 ; \nb\n2\n4 2 ; 5 1 ; \n";
  struct Case {
    std::string tail;
    std::string fault;
  };
  const Case cases[] = {
      {"c\n", "the posting count is missing or not a number"},
      {"c\nx\n", "the posting count is missing or not a number"},
      {"c\n2\n", "posting 1 of 2: the article id is missing or not a number"},
      {"c\n2\n6 1 ; 7", "posting 2 of 2: the count is missing or not a number"},
      {"c\n2\n6 1 ; 7 x ; ", "posting 2 of 2: the count is missing or not a number"},
      {"c\n2\n6 1 ; 7 1", "posting 2 of 2: the separator is missing"},
      {"c\n1\n99999999999 1 ; \n", "posting 1 of 1: the article id is missing or not a number"},
      // Numbers are whole tokens, and the separator is a ";" of its own.
      {"c\n1\n6 1; \n", "posting 1 of 1: the count is missing or not a number"},
      {"c\n1\n6x 1 ; \n", "posting 1 of 1: the article id is missing or not a number"},
      {"c\n2\n6 1 ; 7 1 , \n", "posting 2 of 2: the separator is \",\", not \";\""},
  };
  const Dictionary before{{"a", {{9, 9}}}, {"kept", {{1, 1}}}};
  for (const Case& c : cases) {
    writeFileBytes(path, complete + c.tail);
    Dictionary dictionary = before;
    try {
      processor.loadDictionary(dictionary, path);
      ADD_FAILURE() << "accepted: " << c.tail;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + ": record 3 (\"c\"): " + c.fault) << c.tail;
    }
    // Neither the records before the cut nor anything else reached the dictionary.
    EXPECT_EQ(dictionary, before) << c.tail;
  }
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(DictionaryFileTest, ImpossibleNumbersAreRefusedNamingTheRecord) {
  // Two good records, then one whose numbers no dictionary can hold. A count of 0 would make
  // every weight of the word 0 / 0.
  const std::string good = "3\na\n1\n3 1 ; \nb\n2\n4 2 ; 5 1 ; \n";
  struct Case {
    std::string tail;
    std::string message;
  };
  const Case cases[] = {
      {gbk("历史") + "\n-1\n", ": record 3 (\"历史\"): the posting count -1 is negative"},
      {"c\n2\n6 1 ; 7 0 ; \n",
       ": record 3 (\"c\"): posting 2 of 2 (article 7): count 0 is below 1"},
      {"c\n1\n6 -3 ; \n", ": record 3 (\"c\"): posting 1 of 1 (article 6): count -3 is below 1"},
      {"c\n3\n9 1 ; 2 1 ; 9 4 ; \n", ": record 3 (\"c\"): article 9 has two postings"},
      {"c\n2\n5 1 ; 5 1 ; \n", ": record 3 (\"c\"): article 5 has two postings"},
  };
  for (const Case& c : cases) {
    writeFileBytes(path, good + c.tail + "z\n1\n1 1 ; \n");
    Dictionary dictionary;
    try {
      processor.loadDictionary(dictionary, path);
      ADD_FAILURE() << "accepted: " << c.tail;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), path + c.message);
    }
  }
  writeFileBytes(path, "-2\na\n1\n3 1 ; \n");
  Dictionary dictionary;
  try {
    processor.loadDictionary(dictionary, path);
    ADD_FAILURE() << "accepted a negative word count";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()), path + ": the word count at the start is -2, below 0");
  }
  // A word without postings is possible (and written so by saveDictionary).
  EXPECT_EQ(loadBytes("1\na\n0\n\n"), (Dictionary{{"a", {}}}));
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(DictionaryFileTest, MissingHeaderOrFileIsRefusedAndLoadsNothing) {
  const Dictionary before{{"kept", {{1, 1}}}};
  const std::string header = ": the word count at the start is missing or not a number";
  for (const auto& [file, bytes, message] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {path, "", header},
           {path, " \r\n", header},
           {path, "a\n1\n1 1 ; \n", header},
           {env.dir.file("absent.dat"), "", ": cannot open for reading: No such file or directory"},
           {env.dir.path(), "", ": cannot read: Is a directory"}}) {
    if (file == path) writeFileBytes(path, bytes);
    Dictionary dictionary = before;
    try {
      processor.loadDictionary(dictionary, file);
      ADD_FAILURE() << "accepted " << file << ": " << bytes;
    } catch (const DataFileError& e) {
      EXPECT_EQ(std::string(e.what()), file + message);
    }
    EXPECT_EQ(dictionary, before);
  }
  EXPECT_EQ(env.warnings.str(), "");
}

TEST_F(DictionaryFileTest, PrintDictionaryIsCompact) {
  Dictionary dictionary{{"a", {{3, 1}, {17, 2}}}, {"b", {}}, {gbk("中国"), {{-1, 4}}}};
  printDictionary(dictionary, env.console);
  EXPECT_EQ(env.takeOutput(), "3\na\n2\n3,1;17,2;\nb\n0\n\n\xD6\xD0\xB9\xFA\n1\n-1,4;\n");
  // A UTF-8 console gets the words converted.
  std::ostringstream out;
  Console utf8(out, ConsoleEncoding::kUtf8);
  printDictionary({{gbk("中国"), {{1, 1}}}}, utf8);
  EXPECT_EQ(out.str(), "1\n中国\n1\n1,1;\n");
}

TEST_F(DictionaryFileTest, PrintDictionaryOfManyWordsMatchesTheSavedFile) {
  // Printing goes out in blocks; every line must arrive once and in order.
  Dictionary dictionary;
  for (int i = 0; i < 30000; ++i) dictionary[gbk("字") + std::to_string(i)] = {{i, i % 3 + 1}};
  printDictionary(dictionary, env.console);
  processor.saveDictionary(dictionary, path);
  std::string saved = readFileBytes(path);
  std::string compact;
  for (size_t i = 0; i < saved.size(); ++i) {
    if (saved.compare(i, 3, " ; ") == 0) {
      compact += ';';
      i += 2;
    } else if (saved[i] == ' ') {
      compact += ',';
    } else {
      compact += saved[i];
    }
  }
  EXPECT_EQ(env.takeOutput(), compact);
}

}  // namespace
}  // namespace newsclass
