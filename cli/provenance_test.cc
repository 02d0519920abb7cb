#include "cli/provenance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

TEST(ProvenanceTest, TextRoundTripKeepsGbkQuotesAndControlBytes) {
  // 旧 ends in the byte 0x5C ('\'), which must not be taken for an escape.
  const Provenance facts = {{"categories", "a\"b,\xBE\xC9,c\\d"}, {"count", "1000"},
                            {"note", std::string("tab\there\x01")}};
  const std::string text = formatProvenance(facts);
  EXPECT_EQ(text,
            "{\n  \"categories\": \"a\\\"b,\xBE\xC9,c\\\\d\",\n  \"count\": \"1000\",\n"
            "  \"note\": \"tab\\u0009here\\u0001\"\n}\n");
  EXPECT_EQ(parseProvenance(text, "model.json"), facts);
  EXPECT_EQ(parseProvenance("{}", "model.json"), Provenance{});
}

TEST(ProvenanceTest, DelEscapeAndLoneLeadBytesAreJsonAndReadBack) {
  const Provenance facts = {{"categories", std::string("a\x7f,\x1b[1m\x07,\x81\x1b,\xD6\xD0\xD6")}};
  const std::string text = formatProvenance(facts);
  EXPECT_EQ(text,
            "{\n  \"categories\": \"a\\u007f,\\u001b[1m\\u0007,\\u0081\\u001b,\xD6\xD0\\u00d6\"\n}\n");
  EXPECT_EQ(parseProvenance(text, "model.json"), facts);
}

TEST(ProvenanceTest, MalformedTextNamesTheFileAndByte) {
  for (const char* bad : {"", "{\"a\": 1}", "{\"a\": \"b\"", "{\"a\": \"b\"} x", "[\"a\"]"}) {
    try {
      parseProvenance(bad, "data/model.json");
      ADD_FAILURE() << bad;
    } catch (const DataFileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind("data/model.json: byte ", 0), 0u) << error.what();
    }
  }
  try {
    parseProvenance("{\"a\": 1}", "data/model.json");
  } catch (const DataFileError& error) {
    EXPECT_STREQ(error.what(),
                 "data/model.json: byte 7: expected '\"' (not a model description; build the "
                 "folder's files again)");
  }
}

TEST(ProvenanceTest, AStageDropsTheFactsOfTheStagesAfterIt) {
  testing::TempDir dir;
  const std::string path = dir.file("model.json");
  EXPECT_TRUE(readProvenance(path).empty());  // no file: no facts
  recordProvenance(path, ProvenanceStage::kDictionary, {{"train_range", "1-10"}, {"table", "T"}});
  recordProvenance(path, ProvenanceStage::kContingency, {{"categories", "a,b"}});
  recordProvenance(path, ProvenanceStage::kFeatures, {{"measure", "chi"}, {"count", "5"}});
  recordProvenance(path, ProvenanceStage::kVectors, {{"weighting", "tfidf"}, {"test_range", "1-3"}});
  recordProvenance(path, ProvenanceStage::kClassifier, {{"classifier", "knn"}, {"k", "3"}});
  EXPECT_EQ(readProvenance(path).size(), 9u);
  // New feature words: the vectors and the classifier built from the old ones are stale.
  recordProvenance(path, ProvenanceStage::kFeatures, {{"measure", "ig"}, {"count", "7"}});
  EXPECT_EQ(readProvenance(path), (Provenance{{"train_range", "1-10"},
                                              {"table", "T"},
                                              {"categories", "a,b"},
                                              {"measure", "ig"},
                                              {"count", "7"}}));
}

TEST(ProvenanceTest, DuplicateKeysAndBadUnicodeEscapesAreRefusedWithTheirByte) {
  const std::pair<const char*, const char*> cases[] = {
      {"{\"k\": \"10\", \"k\": \"3\"}", "data/model.json: byte 13: the key \"k\" is given twice"},
      {"{\"k\": \"1\\u00zz\"}", "data/model.json: byte 9: a \\u escape without four hex digits"},
      {"{\"k\": \"\\u12", "data/model.json: byte 8: a \\u escape without four hex digits"},
      {"{\"k\": \"\\u0100\"}", "data/model.json: byte 8: a \\u escape above \\u00ff (the text is GBK)"},
  };
  for (const auto& [text, message] : cases) {
    try {
      parseProvenance(text, "data/model.json");
      ADD_FAILURE() << text;
    } catch (const DataFileError& error) {
      EXPECT_EQ(std::string(error.what()),
                std::string(message) + " (not a model description; build the folder's files again)");
    }
  }
  EXPECT_EQ(parseProvenance("{\"k\": \"a\\u007F\\u0000b\"}", "m"),
            (Provenance{{"k", std::string("a\x7F\0b", 4)}}));
}

TEST(ProvenanceTest, DigestsMatchTheSameBytesWhateverTheirTime) {
  testing::TempDir dir;
  const std::string path = dir.file("dict.dat");
  testing::writeFileBytes(path, "abc");
  const std::string digest = fileDigest(path);
  // "<size> <mtime ns> <16 hex digits>"; XXH3-64 of "abc" is 78af5f94892f3950.
  EXPECT_EQ(digest.substr(0, 2), "3 ");
  EXPECT_EQ(digest.substr(digest.size() - 17), " 78af5f94892f3950");
  EXPECT_TRUE(fileMatchesDigest(path, digest));
  // The same bytes written again (a new time) still match; other bytes of the same size do not.
  testing::writeFileBytes(path, "abc");
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() +
                                             std::chrono::hours(1));
  EXPECT_TRUE(fileMatchesDigest(path, digest));
  testing::writeFileBytes(path, "abd");
  EXPECT_FALSE(fileMatchesDigest(path, digest));
  EXPECT_FALSE(fileMatchesDigest(path, "3 1 78af5f94892f3950 "));  // malformed
  EXPECT_FALSE(fileMatchesDigest(dir.file("missing"), digest));
  EXPECT_THROW(fileDigest(dir.file("missing")), DataFileError);
  // With its path, as the segmenter's files are recorded; a file that cannot be read is absent.
  EXPECT_EQ(fileDigest(dir.file("missing"), true), "absent " + dir.file("missing"));
  const std::string withPath = fileDigest(path, true);
  EXPECT_EQ(withPath.substr(withPath.size() - path.size() - 1), " " + path);
}

TEST(ProvenanceTest, KeysBelongToTheStageOfTheFileTheyDescribe) {
  EXPECT_EQ(stageOfKey("imported"), ProvenanceStage::kCorpus);
  EXPECT_EQ(stageOfKey("stopwords"), ProvenanceStage::kDictionary);
  EXPECT_EQ(stageOfKey(fileKey("dict.dat")), ProvenanceStage::kDictionary);
  EXPECT_EQ(stageOfKey(fileKey("contingency.dat")), ProvenanceStage::kContingency);
  EXPECT_EQ(stageOfKey(fileKey("keywords.dat")), ProvenanceStage::kFeatures);
  EXPECT_EQ(stageOfKey(fileKey("testingVSM.dat")), ProvenanceStage::kVectors);
  EXPECT_EQ(stageOfKey(fileKey("linear.model")), ProvenanceStage::kClassifier);
  EXPECT_EQ(stageOfKey(fileKey("predictions.dat")), ProvenanceStage::kClassifier);
  // A classifier's own settings go with it: a linear model trained again without class
  // weights or a neighbour blend must not keep the old model's keys.
  for (const char* key : {"classifier", "k", "vote", "c", "class_weight", "knn_weight",
                          "tune_grid", "tune_scores"}) {
    EXPECT_EQ(stageOfKey(key), ProvenanceStage::kClassifier) << key;
  }
}

TEST(ProvenanceTest, TheSameBytesFromTheSameFactsKeepTheLaterStages) {
  testing::TempDir dir;
  const std::string path = dir.file("model.json");
  recordProvenance(path, ProvenanceStage::kCorpus, {{"imported", "2026-01-01T00:00:00Z"}});
  recordProvenance(path, ProvenanceStage::kDictionary,
                   {{"table", "T"}, {fileKey("dict.dat"), "3 100 78af5f94892f3950"}});
  recordProvenance(path, ProvenanceStage::kFeatures, {{"measure", "chi"}});
  // Written again at another time with the same bytes: the features stay.
  recordProvenance(path, ProvenanceStage::kDictionary,
                   {{"table", "T"}, {fileKey("dict.dat"), "3 200 78af5f94892f3950"}});
  EXPECT_EQ(readProvenance(path), (Provenance{{"imported", "2026-01-01T00:00:00Z"},
                                              {"table", "T"},
                                              {fileKey("dict.dat"), "3 200 78af5f94892f3950"},
                                              {"measure", "chi"}}));
  // Other bytes: the features are dropped, the import's time is kept.
  recordProvenance(path, ProvenanceStage::kDictionary,
                   {{"table", "T"}, {fileKey("dict.dat"), "3 300 0000000000000001"}});
  EXPECT_EQ(readProvenance(path), (Provenance{{"imported", "2026-01-01T00:00:00Z"},
                                              {"table", "T"},
                                              {fileKey("dict.dat"), "3 300 0000000000000001"}}));
  // A file that is not a model description is replaced by the dictionary stage, not by a later one.
  testing::writeFileBytes(path, "garbage");
  EXPECT_THROW(recordProvenance(path, ProvenanceStage::kFeatures, {{"measure", "ig"}}),
               DataFileError);
  recordProvenance(path, ProvenanceStage::kDictionary, {{"table", "T"}});
  EXPECT_EQ(readProvenance(path), (Provenance{{"table", "T"}}));
}

}  // namespace
}  // namespace newsclass
