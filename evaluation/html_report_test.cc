#include "evaluation/html_report.h"

#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"

namespace newsclass {
namespace {

TEST(HtmlReportTest, DataTextIsEscapedAndConvertedFromGbk) {
  EXPECT_EQ(htmlText("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
  // GBK 中 (D6 D0) becomes its UTF-8 bytes; a byte that starts no GBK character becomes U+FFFD.
  EXPECT_EQ(htmlText("\xD6\xD0<"), "\xE4\xB8\xAD&lt;");
  EXPECT_EQ(htmlText(std::string("x\xFF")), "x\xEF\xBF\xBD");
}

TEST(HtmlReportTest, ControlCharactersAreShownAsEscapesNeverRaw) {
  EXPECT_EQ(htmlText("a\x1b[31mb\x07" "c\x7f"), "a\\x1b[31mb\\x07c\\x7f");
  EXPECT_EQ(htmlText(std::string("\x00\t\n\r\x1f", 5)), "\\x00\\x09\\x0a\\x0d\\x1f");
  // A lead byte before a control byte: U+FFFD for the lead, the escape for the control byte.
  EXPECT_EQ(htmlText("\x81\x1b<"), "\xEF\xBF\xBD\\x1b&lt;");
  EXPECT_EQ(htmlText(gbk("新闻") + "\x7f"), "新闻\\x7f");
}

EvaluationReport smallReport() {
  EvaluationReport report;
  report.tableName = "TestingCorpus";
  report.predictionCount = 4;
  report.correctCount = 3;
  report.accuracy = 0.75;
  report.categories = {{"a<b", 1.0, 0.5, 2.0 / 3.0, 2, 1, 1}, {gbk("体育"), 0.6667, 1.0, 0.8, 2, 3, 2}};
  report.labels = {"a<b", gbk("体育")};
  report.confusion = {{1, 1}, {0, 2}};
  report.macroF1 = (2.0 / 3.0 + 0.8) / 2;
  return report;
}

TEST(HtmlReportTest, PageHoldsEveryPartAndOnlyInlineContent) {
  HtmlReportInput input;
  input.parameters = {{"classifier", "knn"}, {"categories", "a<b," + gbk("体育")}};
  for (int i = 0; i < 60; ++i) {
    input.misclassified.push_back({i + 1, "title \"" + std::to_string(i) + "\" & " + gbk("新闻"),
                                   "a<b", gbk("体育"), {{7, "a<b"}, {9, gbk("体育")}}});
  }
  input.misclassifiedTotal = 60;
  const std::string page = formatReportHtml(smallReport(), input);
  EXPECT_EQ(page.rfind("<!DOCTYPE html>\n<html lang=\"zh\">\n<head>\n<meta charset=\"utf-8\">", 0), 0u);
  EXPECT_NE(page.find("<p id=\"accuracy\">Accuracy <b>0.7500</b> (3 of 4 predictions"), std::string::npos);
  EXPECT_NE(page.find("<svg id=\"confusion-heatmap\""), std::string::npos);
  EXPECT_NE(page.find("<svg id=\"f1-chart\""), std::string::npos);
  // Category names and titles escaped, Chinese in UTF-8, never a raw "<b" from the data.
  EXPECT_NE(page.find("<td class=\"name\">a&lt;b</td>"), std::string::npos);
  EXPECT_NE(page.find("<td class=\"name\">\xE4\xBD\x93\xE8\x82\xB2</td>"), std::string::npos);
  EXPECT_NE(page.find("title &quot;0&quot; &amp; \xE6\x96\xB0\xE9\x97\xBB"), std::string::npos);
  EXPECT_EQ(page.find("a<b"), std::string::npos);
  EXPECT_NE(page.find("7: a&lt;b, 9: \xE4\xBD\x93\xE8\x82\xB2"), std::string::npos);
  // At most 50 articles, and the total said.
  EXPECT_NE(page.find("60 misclassified; the first 50"), std::string::npos);
  EXPECT_NE(page.find("<td>50</td>"), std::string::npos);
  EXPECT_EQ(page.find("<td>51</td>"), std::string::npos);
  // A row's colour follows its share: the diagonal cell of a row with all its count is darkest.
  EXPECT_NE(page.find("fill=\"rgb(50,105,215)\""), std::string::npos);
  // Self-contained: no script, no link, nothing fetched.
  for (const char* outside : {"<script", "<link", "src=", "@import", "url("}) {
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  }
}

TEST(HtmlReportTest, APageOfControlCharacterNamesHoldsNoRawControlByte) {
  EvaluationReport report = smallReport();
  report.categories[0].category = "a\x1b";
  report.labels = {"a\x1b", "b\x7f"};
  HtmlReportInput input;
  input.parameters = {{"categories", "a\x1b,b\x7f"}};
  input.misclassified = {{3, "bell\x07title\x1b[2J", "a\x1b", "b\x7f", {{7, "b\x7f"}}}};
  input.misclassifiedTotal = 1;
  const std::string page = formatReportHtml(report, input);
  for (char c : page) {
    EXPECT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F))
        << static_cast<int>(c);
  }
  EXPECT_NE(page.find("bell\\x07title\\x1b[2J"), std::string::npos);
  EXPECT_NE(page.find("7: b\\x7f"), std::string::npos);
}

TEST(HtmlReportTest, ANoteReplacesTheNeighbourColumn) {
  HtmlReportInput input;
  input.misclassified = {{3, "t", "a<b", gbk("体育"), {}}};
  input.misclassifiedTotal = 1;
  input.neighboursNote = "The linear classifier has no neighbours.";
  const std::string page = formatReportHtml(smallReport(), input);
  EXPECT_NE(page.find("The linear classifier has no neighbours."), std::string::npos);
  EXPECT_EQ(page.find("nearest neighbours"), std::string::npos);
}

}  // namespace
}  // namespace newsclass
