#include "evaluation/html_report.h"

#include <algorithm>
#include <cstdio>

#include "base/encoding.h"

namespace newsclass {
namespace {

// A cell's fill for a share of its row from 0 to 1: white to a deep blue.
std::string heatColour(double share) {
  const double s = std::clamp(share, 0.0, 1.0);
  char colour[32];
  std::snprintf(colour, sizeof colour, "rgb(%d,%d,%d)", static_cast<int>(255 - 205 * s),
                static_cast<int>(255 - 150 * s), static_cast<int>(255 - 40 * s));
  return colour;
}

const char* kStyle =
    "body{font-family:sans-serif;margin:24px;color:#222;max-width:1100px}"
    "h1{font-size:22px}h2{font-size:18px;margin-top:28px}"
    "table{border-collapse:collapse;margin:8px 0}"
    "td,th{border:1px solid #ccc;padding:4px 8px;text-align:right}"
    "td.name,th.name{text-align:left}tr.average td{font-weight:bold;background:#f4f4f4}"
    ".note{color:#666;font-size:13px}";

std::string heatMap(const EvaluationReport& report) {
  const size_t n = report.labels.size();
  const int cell = 44, left = 150, top = 130;
  const int width = left + cell * static_cast<int>(n) + 90;  // room for the last slanted label
  const int height = top + cell * static_cast<int>(n) + 10;
  std::string svg = "<svg id=\"confusion-heatmap\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(width) + "\" height=\"" + std::to_string(height) +
                    "\" role=\"img\" aria-label=\"confusion matrix\">\n";
  for (size_t p = 0; p < n; ++p) {
    const int x = left + cell * static_cast<int>(p) + cell / 2;
    svg += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(top - 8) +
           "\" transform=\"rotate(-45 " + std::to_string(x) + " " + std::to_string(top - 8) +
           ")\" font-size=\"12\">" + htmlText(report.labels[p]) + "</text>\n";
  }
  for (size_t s = 0; s < n; ++s) {
    int64_t rowTotal = 0;
    for (int64_t count : report.confusion[s]) rowTotal += count;
    const int y = top + cell * static_cast<int>(s);
    svg += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + std::to_string(y + cell / 2 + 4) +
           "\" text-anchor=\"end\" font-size=\"12\">" + htmlText(report.labels[s]) + "</text>\n";
    for (size_t p = 0; p < n; ++p) {
      const int64_t count = report.confusion[s][p];
      const double share = rowTotal > 0 ? static_cast<double>(count) / rowTotal : 0.0;
      const int x = left + cell * static_cast<int>(p);
      svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
             std::to_string(cell) + "\" height=\"" + std::to_string(cell) + "\" fill=\"" +
             heatColour(share) + "\" stroke=\"#fff\"><title>" + htmlText(report.labels[s]) +
             " predicted as " + htmlText(report.labels[p]) + ": " + std::to_string(count) +
             "</title></rect>\n";
      svg += "<text x=\"" + std::to_string(x + cell / 2) + "\" y=\"" +
             std::to_string(y + cell / 2 + 4) + "\" text-anchor=\"middle\" font-size=\"12\" fill=\"" +
             (share > 0.55 ? "#fff" : "#222") + "\">" + std::to_string(count) + "</text>\n";
    }
  }
  return svg + "</svg>\n";
}

std::string f1Chart(const EvaluationReport& report) {
  const int left = 150, bar = 22, width = 420;
  const int height = 10 + (bar + 6) * static_cast<int>(report.categories.size());
  std::string svg = "<svg id=\"f1-chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(left + width + 70) + "\" height=\"" + std::to_string(height) +
                    "\" role=\"img\" aria-label=\"F1 per category\">\n";
  for (size_t i = 0; i < report.categories.size(); ++i) {
    const CategoryScores& s = report.categories[i];
    const int y = 5 + (bar + 6) * static_cast<int>(i);
    const int length = static_cast<int>(std::clamp(s.f1, 0.0, 1.0) * width);
    svg += "<text x=\"" + std::to_string(left - 6) + "\" y=\"" + std::to_string(y + bar - 6) +
           "\" text-anchor=\"end\" font-size=\"12\">" + htmlText(s.category) + "</text>\n";
    svg += "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(length) + "\" height=\"" + std::to_string(bar) + "\" fill=\"#3b6fb6\"/>\n";
    svg += "<text x=\"" + std::to_string(left + length + 6) + "\" y=\"" +
           std::to_string(y + bar - 6) + "\" font-size=\"12\">" + fixed4(s.f1) + "</text>\n";
  }
  return svg + "</svg>\n";
}

}  // namespace

std::string htmlText(const std::string& gbk) {
  const std::string utf8 = gbkToUtf8(gbk);
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          // A control character would be invisible (or act on a terminal showing the source):
          // it is shown as its escape, as on the console.
          static const char kHex[] = "0123456789abcdef";
          out += "\\x";
          out += kHex[static_cast<unsigned char>(c) >> 4];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string formatReportHtml(const EvaluationReport& report, const HtmlReportInput& input) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>newsclass evaluation</title>\n<style>" +
      std::string(kStyle) + "</style>\n</head>\n<body>\n<h1>newsclass evaluation</h1>\n";
  page += "<p id=\"accuracy\">Accuracy <b>" + fixed4(report.accuracy) + "</b> (" +
          std::to_string(report.correctCount) + " of " + std::to_string(report.predictionCount) +
          " predictions against " + htmlText(report.tableName) + "), macro F1 <b>" +
          fixed4(report.macroF1) + "</b></p>\n";

  page += "<h2>Model</h2>\n<table id=\"parameters\">\n";
  for (const auto& [label, value] : input.parameters) {
    page += "<tr><th class=\"name\">" + htmlText(label) + "</th><td class=\"name\">" +
            htmlText(value) + "</td></tr>\n";
  }
  page += "</table>\n";

  page += "<h2>Per category</h2>\n<table id=\"scores\">\n<tr><th class=\"name\">category</th>"
          "<th>precision</th><th>recall</th><th>F1</th><th>support</th><th>predicted</th>"
          "<th>correct</th></tr>\n";
  for (const CategoryScores& s : report.categories) {
    page += "<tr><td class=\"name\">" + htmlText(s.category) + "</td><td>" + fixed4(s.precision) +
            "</td><td>" + fixed4(s.recall) + "</td><td>" + fixed4(s.f1) + "</td><td>" +
            shortestDecimal(s.support) + "</td><td>" + std::to_string(s.predicted) + "</td><td>" +
            std::to_string(s.correct) + "</td></tr>\n";
  }
  page += "<tr class=\"average\"><td class=\"name\">micro average</td><td>" +
          fixed4(report.microPrecision) + "</td><td>" + fixed4(report.microRecall) + "</td><td>" +
          fixed4(report.microF1) + "</td><td>" + shortestDecimal(report.microSupport) +
          "</td><td>" + std::to_string(report.microPredicted) + "</td><td>" +
          std::to_string(report.microCorrect) + "</td></tr>\n";
  page += "<tr class=\"average\"><td class=\"name\">macro average</td><td>" +
          fixed4(report.macroPrecision) + "</td><td>" + fixed4(report.macroRecall) + "</td><td>" +
          fixed4(report.macroF1) + "</td><td></td><td></td><td></td></tr>\n</table>\n"
          "<p class=\"note\">Macro F1 is the mean of the per-category F1 values.</p>\n";

  page += "<h2>Confusion matrix</h2>\n<p class=\"note\">Rows: stored category; columns: predicted "
          "category. Counts in the cells; the colour shows each count's share of its row.</p>\n" +
          heatMap(report);
  page += "<h2>F1 per category</h2>\n" + f1Chart(report);

  page += "<h2>Misclassified testing articles</h2>\n";
  const size_t shown = std::min(input.misclassified.size(), kShownMisclassifiedArticles);
  page += "<p class=\"note\">" + std::to_string(input.misclassifiedTotal) +
          " misclassified; the first " + std::to_string(shown) + " in prediction order." +
          (input.neighboursNote.empty() ? "" : " " + htmlText(input.neighboursNote)) + "</p>\n";
  page += "<table id=\"misclassified\">\n<tr><th>id</th><th class=\"name\">title</th>"
          "<th class=\"name\">stored</th><th class=\"name\">predicted</th>";
  const bool neighbours = input.neighboursNote.empty();
  if (neighbours) page += "<th class=\"name\">nearest neighbours (id: category)</th>";
  page += "</tr>\n";
  for (size_t i = 0; i < shown; ++i) {
    const MisclassifiedArticle& article = input.misclassified[i];
    page += "<tr><td>" + std::to_string(article.id) + "</td><td class=\"name\">" +
            htmlText(article.title) + "</td><td class=\"name\">" + htmlText(article.stored) +
            "</td><td class=\"name\">" + htmlText(article.predicted) + "</td>";
    if (neighbours) {
      std::string list;
      for (const auto& [id, category] : article.neighbours) {
        list += (list.empty() ? "" : ", ") + std::to_string(id) + ": " + htmlText(category);
      }
      page += "<td class=\"name\">" + list + "</td>";
    }
    page += "</tr>\n";
  }
  return page + "</table>\n</body>\n</html>\n";
}

}  // namespace newsclass
