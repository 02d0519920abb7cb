#include "driver/provenance.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/errors.h"
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

}  // namespace
}  // namespace newsclass
