#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "evaluation/evaluation.h"
#include "evaluation/evaluation_report.h"
#include "processor/corpus_processor.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestArticle;
using testing::TestEnvironment;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(EvaluationScoresTest, EmptyCountsScoreZeroAndF1IsTheHarmonicMean) {
  EXPECT_EQ(precisionOf(3, 4), 0.75);
  EXPECT_EQ(precisionOf(0, 0), 0.0);  // no predictions: 0, not 0/0
  EXPECT_EQ(recallOf(3, 6), 0.5);
  EXPECT_EQ(recallOf(0, 0), 0.0);  // no articles of the category
  EXPECT_EQ(f1Of(0.75, 0.5), (2.0 * 0.75 * 0.5) / (0.75 + 0.5));
  EXPECT_EQ(f1Of(1.0, 1.0), 1.0);
  EXPECT_EQ(f1Of(0.0, 0.5), 0.0);
  EXPECT_EQ(f1Of(0.5, 0.0), 0.0);
  EXPECT_EQ(f1Of(std::nan(""), 0.5), 0.0);  // not a positive number: no F1
}

// TestingCorpus: history 1-4, culture 5-6, reading 7 and 9 (9 stored with trailing blanks),
// sports 8 (a category outside the list).
class EvaluationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::insertArticles(env.environment.connectionString, "TestingCorpus",
                            {{1, "t", "history", "x"},
                             {2, "t", "history", "x"},
                             {3, "t", "history", "x"},
                             {4, "t", "history", "x"},
                             {5, "t", "culture", "x"},
                             {6, "t", "culture", "x"},
                             {7, "t", "reading", "x"},
                             {8, "t", "sports", "x"},
                             {9, "t", "reading  ", "x"}});
  }
  double precision(const std::string& c, const ClassificationResults& r) {
    return processor.categoryPrecision(c, r, "TestingCorpus");
  }
  double recall(const std::string& c, const ClassificationResults& r) {
    return processor.categoryRecall(c, r, "TestingCorpus");
  }
  double f1(const std::string& c, const ClassificationResults& r) {
    return processor.categoryF1(c, r, "TestingCorpus");
  }

  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
};

TEST_F(EvaluationTest, NoPredictionOfTheCategoryScoresZero) {
  ClassificationResults results = {{1, "culture"}, {5, "culture"}};
  EXPECT_EQ(processor.countCorrectPredictions("history", results, "TestingCorpus"), 0.0);
  EXPECT_EQ(precision("history", results), 0.0);
  EXPECT_EQ(recall("history", results), 0.0);
  EXPECT_EQ(f1("history", results), 0.0);
}

TEST_F(EvaluationTest, AllRightAndAllFoundScoresOne) {
  ClassificationResults results = {{5, "culture"}, {6, "culture"}, {1, "history"}};
  EXPECT_EQ(processor.countCorrectPredictions("culture", results, "TestingCorpus"), 2.0);
  EXPECT_EQ(precision("culture", results), 1.0);
  EXPECT_EQ(recall("culture", results), 1.0);
  EXPECT_EQ(f1("culture", results), 1.0);
}

TEST_F(EvaluationTest, StoredCategoryIsComparedWithoutTrailingBlanks) {
  ClassificationResults results = {{9, "reading"}, {7, "reading"}};
  EXPECT_EQ(processor.countCorrectPredictions("reading", results, "TestingCorpus"), 2.0);
  EXPECT_EQ(precision("reading", results), 1.0);
}

TEST_F(EvaluationTest, PrecisionOneAndRecallHalfGiveTwoThirds) {
  ClassificationResults results = {{1, "history"}, {2, "history"}, {5, "culture"}};
  EXPECT_EQ(precision("history", results), 1.0);
  EXPECT_EQ(recall("history", results), 0.5);  // articles 3 and 4 were not predicted
  EXPECT_EQ(f1("history", results), (2.0 * 1.0 * 0.5) / (1.0 + 0.5));
  EXPECT_NEAR(f1("history", results), 2.0 / 3.0, 1e-15);
}

TEST_F(EvaluationTest, WrongPredictionsLowerPrecision) {
  ClassificationResults results = {{1, "history"}, {5, "history"}, {7, "history"}, {8, "history"}};
  EXPECT_EQ(processor.countCorrectPredictions("history", results, "TestingCorpus"), 1.0);
  EXPECT_EQ(precision("history", results), 0.25);
  EXPECT_EQ(recall("history", results), 0.25);
  EXPECT_EQ(f1("history", results), 0.25);
}

TEST_F(EvaluationTest, CategoryNeverInTheTableHasRecallAndF1Zero) {
  ClassificationResults results = {{1, "military"}, {2, "military"}};
  EXPECT_EQ(precision("military", results), 0.0);
  EXPECT_EQ(recall("military", results), 0.0);
  EXPECT_EQ(f1("military", results), 0.0);
}

TEST_F(EvaluationTest, AnArticleTwiceCountsTwice) {
  ClassificationResults results = {{1, "history"}, {5, "history"}, {1, "history"}};
  EXPECT_EQ(processor.countCorrectPredictions("history", results, "TestingCorpus"), 2.0);
  EXPECT_EQ(precision("history", results), 2.0 / 3.0);
  EXPECT_EQ(recall("history", results), 0.5);
}

TEST_F(EvaluationTest, PredictedArticleMissingFromTheTableFails) {
  ClassificationResults results = {{1, "history"}, {99, "history"}};
  EXPECT_ANY_THROW(precision("history", results));
  CategoryList categories = {"history"};
  try {
    buildEvaluationReport(processor.environment(), results, categories, "TestingCorpus");
    FAIL() << "a prediction for a missing article was accepted";
  } catch (const DataFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "predicted article 99 is not in TestingCorpus (or its category is NULL)");
  }
}

// The report computes from one query what the per-category operations compute from one lookup
// per prediction; every value must be the same double.
TEST_F(EvaluationTest, ReportNumbersEqualThePerCategoryOperations) {
  CategoryList categories = {"history", "culture", "reading", "military"};
  std::vector<ClassificationResults> cases = {
      {},
      {{1, "history"}, {2, "culture"}, {3, "history"}, {5, "culture"}, {6, "reading"},
       {7, "reading"}, {8, "history"}, {4, "military"}},
      {{1, "history"}, {1, "history"}, {6, "culture"}, {6, "culture"}, {7, "history"}},
      {{2, "history"}, {3, "history"}, {4, "history"}, {8, "culture"}, {9, "reading"}}};
  for (const ClassificationResults& results : cases) {
    EvaluationReport report =
        buildEvaluationReport(processor.environment(), results, categories, "TestingCorpus");
    ASSERT_EQ(report.categories.size(), categories.size());
    double macroF1 = 0.0;
    for (size_t i = 0; i < categories.size(); ++i) {
      const CategoryScores& s = report.categories[i];
      EXPECT_EQ(s.category, categories[i]);
      EXPECT_TRUE(sameBits(s.precision, precision(categories[i], results))) << categories[i];
      EXPECT_TRUE(sameBits(s.recall, recall(categories[i], results))) << categories[i];
      EXPECT_TRUE(sameBits(s.f1, f1(categories[i], results))) << categories[i];
      EXPECT_EQ(static_cast<double>(s.correct),
                processor.countCorrectPredictions(categories[i], results, "TestingCorpus"));
      EXPECT_EQ(s.support, processor.countCategoryArticles(categories[i], "TestingCorpus"));
      macroF1 += s.f1;
    }
    EXPECT_TRUE(sameBits(report.macroF1, macroF1 / 4.0));
  }
}

TEST_F(EvaluationTest, ReportAveragesAccuracyAndConfusion) {
  CategoryList categories = {"history", "culture", "reading"};
  ClassificationResults results = {{1, "history"}, {2, "history"}, {5, "history"},
                                   {6, "culture"}, {7, "culture"}, {8, "reading"}};
  EvaluationReport r = buildEvaluationReport(processor.environment(), results, categories, "TestingCorpus");
  EXPECT_EQ(r.predictionCount, 6);
  EXPECT_EQ(r.correctCount, 3);
  EXPECT_EQ(r.accuracy, 0.5);
  // history: 2 of 3 right, 4 in the table; culture: 1 of 2, 2; reading: 0 of 1, 1.
  EXPECT_EQ(r.microPredicted, 6);
  EXPECT_EQ(r.microCorrect, 3);
  EXPECT_EQ(r.microSupport, 7.0);
  EXPECT_EQ(r.microPrecision, 0.5);
  EXPECT_EQ(r.microRecall, 3.0 / 7.0);
  EXPECT_EQ(r.microF1, (2.0 * 0.5 * (3.0 / 7.0)) / (0.5 + 3.0 / 7.0));
  EXPECT_EQ(r.macroPrecision, (2.0 / 3.0 + 0.5 + 0.0) / 3.0);
  EXPECT_EQ(r.macroRecall, (0.5 + 0.5 + 0.0) / 3.0);
  EXPECT_EQ(r.labels, (std::vector<std::string>{"history", "culture", "reading", "sports"}));
  std::vector<std::vector<int64_t>> confusion = {
      {2, 0, 0, 0}, {1, 1, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  EXPECT_EQ(r.confusion, confusion);
}

class ReportFormatTest : public ::testing::Test {
 protected:
  ReportFormatTest() {
    report.tableName = "TestingCorpus";
    report.predictionCount = 3;
    report.correctCount = 2;
    report.accuracy = 2.0 / 3.0;
    report.categories = {{"history", 1.0, 0.5, 2.0 / 3.0, 4.0, 2, 2},
                         {"a,b", 0.0, 0.0, 0.0, 0.0, 1, 0}};
    report.microPrecision = 2.0 / 3.0;
    report.microRecall = 0.5;
    report.microF1 = 4.0 / 7.0;
    report.microSupport = 4.0;
    report.microPredicted = 3;
    report.microCorrect = 2;
    report.macroPrecision = 0.5;
    report.macroRecall = 0.25;
    report.macroF1 = 1.0 / 3.0;
    report.labels = {"history", "a,b"};
    report.confusion = {{2, 1}, {0, 0}};
  }
  EvaluationReport report;
};

TEST_F(ReportFormatTest, TextBytes) {
  EXPECT_EQ(formatReportText(report),
            "Evaluation of 3 predictions against TestingCorpus\n"
            "category       precision  recall     F1         support    predicted  correct\n"
            "history        1.0000     0.5000     0.6667     4          2          2\n"
            "a,b            0.0000     0.0000     0.0000     0          1          0\n"
            "micro average  0.6667     0.5000     0.5714     4          3          2\n"
            "macro average  0.5000     0.2500     0.3333\n"
            "accuracy       0.6667     (2 of 3)\n"
            "Macro F1 is the mean of the per-category F1 values.\n"
            "\n"
            "Confusion matrix (rows: stored category, columns: predicted category)\n"
            "               history  a,b\n"
            "history        2        1\n"
            "a,b            0        0\n");
}

TEST_F(ReportFormatTest, CsvBytes) {
  EXPECT_EQ(formatReportCsv(report),
            "kind,category,predicted_category,precision,recall,f1,accuracy,support,predicted,"
            "correct,count\n"
            "category,history,,1,0.5,0.6666666666666666,,4,2,2,\n"
            "category,\"a,b\",,0,0,0,,0,1,0,\n"
            "micro,,,0.6666666666666666,0.5,0.5714285714285714,,4,3,2,\n"
            "macro,,,0.5,0.25,0.3333333333333333,,,,,\n"
            "accuracy,,,,,,0.6666666666666666,,3,2,\n"
            "confusion,history,history,,,,,,,,2\n"
            "confusion,history,\"a,b\",,,,,,,,1\n"
            "confusion,\"a,b\",history,,,,,,,,0\n"
            "confusion,\"a,b\",\"a,b\",,,,,,,,0\n");
}

TEST_F(ReportFormatTest, JsonBytes) {
  EXPECT_EQ(formatReportJson(report),
            "{\n"
            "  \"table\": \"TestingCorpus\",\n"
            "  \"predictions\": 3,\n"
            "  \"correct\": 2,\n"
            "  \"accuracy\": 0.6666666666666666,\n"
            "  \"categories\": [\n"
            "    {\"category\": \"history\", \"precision\": 1, \"recall\": 0.5, \"f1\": "
            "0.6666666666666666, \"support\": 4, \"predicted\": 2, \"correct\": 2},\n"
            "    {\"category\": \"a,b\", \"precision\": 0, \"recall\": 0, \"f1\": 0, "
            "\"support\": 0, \"predicted\": 1, \"correct\": 0}\n"
            "  ],\n"
            "  \"micro\": {\"precision\": 0.6666666666666666, \"recall\": 0.5, \"f1\": "
            "0.5714285714285714, \"support\": 4, \"predicted\": 3, \"correct\": 2},\n"
            "  \"macro\": {\"precision\": 0.5, \"recall\": 0.25, \"f1\": 0.3333333333333333, "
            "\"f1_is\": \"mean of the per-category F1 values\"},\n"
            "  \"confusion\": {\"rows\": \"stored category\", \"columns\": \"predicted category\", "
            "\"labels\": [\"history\", \"a,b\"], \"matrix\": [[2, 1], [0, 0]]}\n"
            "}\n");
}

TEST_F(ReportFormatTest, JsonEscapesOnlyWholeCharacters) {
  // 0x81 0x5C is one GBK character whose second byte is a backslash: it stays as it is.
  report.categories = {{"\x81\x5c\"q\\", 0.0, 0.0, 0.0, 0.0, 0, 0}};
  report.labels = {"\x81\x5c\"q\\", "\t"};
  report.confusion = {{0, 0}, {0, 0}};
  std::string json = formatReportJson(report);
  EXPECT_NE(json.find("{\"category\": \"\x81\x5c\\\"q\\\\\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"labels\": [\"\x81\x5c\\\"q\\\\\", \"\\u0009\"]"), std::string::npos)
      << json;
}

TEST_F(ReportFormatTest, JsonWritesDelAndEscapeAsUnicodeEscapes) {
  report.categories = {{"a\x7f", 0.0, 0.0, 0.0, 0.0, 0, 0}};
  report.labels = {"a\x7f", "\x1b\x07"};
  report.confusion = {{0, 0}, {0, 0}};
  const std::string json = formatReportJson(report);
  EXPECT_NE(json.find("{\"category\": \"a\\u007f\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"labels\": [\"a\\u007f\", \"\\u001b\\u0007\"]"), std::string::npos)
      << json;
  // No control byte but the line ends, and no DEL, anywhere in the document.
  for (char c : json) {
    EXPECT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F))
        << static_cast<int>(c);
  }
}

TEST_F(ReportFormatTest, ChineseNamesAlignByTheirGbkWidth) {
  report.categories = {{gbk("历史"), 1.0, 1.0, 1.0, 1.0, 1, 1}};
  report.labels = {gbk("历史")};
  report.confusion = {{1}};
  std::string text = formatReportText(report);
  EXPECT_NE(text.find(gbk("历史") + std::string(11, ' ') + "1.0000"), std::string::npos);
}

}  // namespace
}  // namespace newsclass
