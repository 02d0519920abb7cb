// model.json as the reading commands check it: every value as strict as its option.
#include "cli/cmd_model.h"

#include <gtest/gtest.h>

#include <string>

#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// A valid description of a folder built with KNN.
Provenance knnFacts() {
  return {{"table", "TrainingCorpus"}, {"train_range", "1-120"},    {"tokenizer", "segment"},
          {"categories", "a,b"},       {"measure", "chi"},          {"count", "1000"},
          {"weighting", "spec"},       {"test_range", "-5-10"},     {"classifier", "knn"},
          {"k", "10"},                 {"vote", "count"},           {"imported", "2026-12-09T23:00:00Z"},
          {"stopwords", "3 5 78af5f94892f3950 /a b/stopwords.txt"},
          {"user_dict", "absent /x/dict.txt"},
          {"lexicon", "3 5 78af5f94892f3950 /usr/lexicon.txt"},
          {"file dict.dat", "3 5 78af5f94892f3950"}};
}

std::string refusal(const Provenance& facts) {
  testing::TempDir dir;
  const std::string path = dir.file("model.json");
  testing::writeFileBytes(path, formatProvenance(facts));
  try {
    readCheckedFacts(path);
  } catch (const DataFileError& error) {
    const std::string message = error.what();
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
    return message.substr(path.size() + 2);
  }
  return "";
}

TEST(ModelFactsTest, EveryValueIsCheckedAsItsOptionAndWrittenAsTheStagesWriteIt) {
  EXPECT_EQ(refusal(knnFacts()), "");
  const std::pair<const char*, const char*> forgeries[] = {
      {"classifier", "svm"}, {"weighting", "bm25"},  {"vote", "majority"},
      {"train_range", "120-1"}, {"train_range", " 1-120"}, {"train_range", "+1-120"},
      {"train_range", "0-2147483647"}, {"test_range", "1"}, {"k", "3.5"}, {"k", " 3"},
      {"k", "+3"}, {"k", "03"}, {"k", "0"}, {"k", "99999999999999999999"},
      {"count", "-1"}, {"measure", "bm25"}, {"tokenizer", "jieba"}, {"table", "x;drop"},
      {"categories", "a,,b"}, {"categories", "a b"}, {"categories", ""},
      {"stopwords", "stopwords.txt"}, {"lexicon", "3 5 78af5f94892f3950 relative.txt"},
      {"file dict.dat", "3 5 78AF5F94892F3950"}, {"file dict.dat", "-3 5 78af5f94892f3950"},
      {"imported", "yesterday"}, {"terms", "words"}, {"terms", "characters"},
      {"terms", "chars+words"}, {"class_weight", "none"}, {"class_weight", "auto"}};
  for (const auto& [key, value] : forgeries) {
    Provenance facts = knnFacts();
    facts[key] = value;
    const std::string message = refusal(facts);
    EXPECT_EQ(message.rfind(std::string("\"") + key + "\" is \"" + value + "\", expected ", 0), 0u)
        << key << " " << value << ": " << message;
  }
  Provenance facts = knnFacts();
  facts["extra"] = "1";
  EXPECT_EQ(refusal(facts), "\"extra\": unknown key (build the folder's files again)");
  facts = knnFacts();
  facts["file notes.txt"] = "3 5 78af5f94892f3950";
  EXPECT_EQ(refusal(facts),
            "\"file notes.txt\" names no file of a data folder (build the folder's files again)");
}

TEST(ModelFactsTest, TheClassifiersFactsComeWithIt) {
  Provenance facts = knnFacts();
  facts.erase("k");
  EXPECT_EQ(refusal(facts),
            "the knn classifier is recorded without \"k\" (build the folder's files again)");
  facts = knnFacts();
  facts["classifier"] = "linear";
  EXPECT_EQ(refusal(facts),
            "\"k\" is recorded for the linear classifier (build the folder's files again)");
  facts.erase("k");
  facts.erase("vote");
  facts["c"] = "1";
  EXPECT_EQ(refusal(facts), "");
  facts["c"] = "1.0";  // shortestDecimal writes "1"
  EXPECT_EQ(refusal(facts).rfind("\"c\" is \"1.0\", expected a positive decimal number", 0), 0u);
  // Logistic regression comes with C, and either linear classifier may record balanced class
  // weights; the KNN may not.
  facts["c"] = "10";
  facts["classifier"] = "logistic";
  facts["class_weight"] = "balanced";
  EXPECT_EQ(refusal(facts), "");
  facts.erase("c");
  EXPECT_EQ(refusal(facts),
            "the logistic classifier is recorded without \"c\" (build the folder's files again)");
  facts = knnFacts();
  facts["class_weight"] = "balanced";
  EXPECT_EQ(refusal(facts), "\"class_weight\" is recorded for the knn classifier (build the "
                            "folder's files again)");
  facts.erase("classifier");
  facts.erase("k");
  facts.erase("vote");
  facts.erase("class_weight");
  EXPECT_EQ(refusal(facts), "");
  // The linear SVMs' neighbour blend comes with its K; logistic regression has none.
  facts["classifier"] = "linear";
  facts["c"] = "1";
  facts["knn_weight"] = "0.5";
  EXPECT_EQ(refusal(facts),
            "the linear classifier is recorded without \"k\" (build the folder's files again)");
  facts["k"] = "10";
  EXPECT_EQ(refusal(facts), "");
  facts["knn_weight"] = "0";
  EXPECT_EQ(refusal(facts).rfind("\"knn_weight\" is \"0\", expected a positive decimal number", 0), 0u);
  facts["knn_weight"] = "0.5";
  facts["classifier"] = "logistic";
  EXPECT_EQ(refusal(facts), "\"k\" is recorded for the logistic classifier (build the folder's "
                            "files again)");
}

TEST(ModelFactsTest, TunesRecordComesWholeAndWithAClassifier) {
  Provenance facts = knnFacts();
  const Provenance tune = {{"tune_grid", "classifier=knn;k=5,10"},
                           {"tune_folds", "5"},
                           {"tune_seed", "18446744073709551615"},
                           {"tune_metric", "accuracy"},
                           {"tune_scores", "0.9 0.01 classifier=knn k=10; 0.8 0 classifier=knn k=5"}};
  facts.insert(tune.begin(), tune.end());
  EXPECT_EQ(refusal(facts), "");
  const std::pair<const char*, const char*> wrong[] = {
      {"tune_grid", "k=0"},          {"tune_folds", "1"},
      {"tune_seed", "-1"},           {"tune_seed", "18446744073709551616"},
      {"tune_metric", "f1"},         {"tune_scores", "0.9 classifier=knn"},
      {"tune_scores", "0.9 0.1 k=1;"}};
  for (const auto& [key, value] : wrong) {
    Provenance bad = facts;
    bad[key] = value;
    EXPECT_EQ(refusal(bad).rfind("\"" + std::string(key) + "\" is \"" + value + "\", expected ", 0), 0u)
        << refusal(bad);
  }
  Provenance partial = facts;
  partial.erase("tune_seed");
  EXPECT_EQ(refusal(partial), "tune's keys are recorded without all five of tune_grid, tune_folds, "
                              "tune_seed, tune_metric and tune_scores (build the folder's files "
                              "again)");
  Provenance unclassified = facts;
  for (const char* key : {"classifier", "k", "vote"}) unclassified.erase(key);
  EXPECT_EQ(refusal(unclassified),
            "tune's keys are recorded for no classifier (build the folder's files again)");
}

TEST(ModelFactsTest, RecordedTermsAreTakenByEveryCommandThatCutsText) {
  // What the dictionary stage recorded reads back through the file, and the kinds it names are
  // the ones new text is cut into.
  for (const char* terms : {"chars", "words+chars"}) {
    Provenance facts = knnFacts();
    facts["terms"] = terms;
    EXPECT_EQ(refusal(facts), "");
    testing::TempDir dir;
    const std::string path = dir.file("model.json");
    testing::writeFileBytes(path, formatProvenance(facts));
    const Provenance read = readCheckedFacts(path);
    EXPECT_EQ(read, facts);
    EXPECT_EQ(termKindsNamed(read.at("terms")), termKindsNamed(terms));
  }
}

}  // namespace
}  // namespace newsclass
