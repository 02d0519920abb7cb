#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text_utils.h"
#include "evaluation/evaluation_report.h"

namespace newsclass {
namespace {

// Pads on the right to `width` bytes. A GBK character takes two bytes and two terminal columns,
// so byte counts keep Chinese names aligned too.
std::string padded(const std::string& text, size_t width) {
  if (text.size() >= width) return text + " ";
  return text + std::string(width - text.size(), ' ');
}

std::string countText(int64_t value) { return std::to_string(value); }

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string jsonString(const std::string& text) { return gbkJsonString(text); }

std::string fixed4(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4f", value);
  return buffer;
}

std::string formatReportText(const EvaluationReport& report) {
  size_t nameWidth = std::string("micro average").size();
  for (const std::string& label : report.labels) nameWidth = std::max(nameWidth, label.size());
  nameWidth += 2;
  constexpr size_t kNumber = 11;
  std::string out = "Evaluation of " + countText(report.predictionCount) +
                    " predictions against " + report.tableName + "\n";
  out += padded("category", nameWidth) + padded("precision", kNumber) + padded("recall", kNumber) +
         padded("F1", kNumber) + padded("support", kNumber) + padded("predicted", kNumber) +
         "correct\n";
  for (const CategoryScores& s : report.categories) {
    out += padded(s.category, nameWidth) + padded(fixed4(s.precision), kNumber) +
           padded(fixed4(s.recall), kNumber) + padded(fixed4(s.f1), kNumber) +
           padded(shortestDecimal(s.support), kNumber) + padded(countText(s.predicted), kNumber) +
           countText(s.correct) + "\n";
  }
  out += padded("micro average", nameWidth) + padded(fixed4(report.microPrecision), kNumber) +
         padded(fixed4(report.microRecall), kNumber) + padded(fixed4(report.microF1), kNumber) +
         padded(shortestDecimal(report.microSupport), kNumber) +
         padded(countText(report.microPredicted), kNumber) + countText(report.microCorrect) +
         "\n";
  out += padded("macro average", nameWidth) + padded(fixed4(report.macroPrecision), kNumber) +
         padded(fixed4(report.macroRecall), kNumber) + fixed4(report.macroF1) + "\n";
  out += padded("accuracy", nameWidth) + padded(fixed4(report.accuracy), kNumber) + "(" +
         countText(report.correctCount) + " of " + countText(report.predictionCount) + ")\n";
  out += "Macro F1 is the mean of the per-category F1 values.\n";
  out += "\nConfusion matrix (rows: stored category, columns: predicted category)\n";
  // Each column as wide as its label or its largest count, with two spaces to the next.
  std::vector<size_t> widths;
  for (size_t p = 0; p < report.labels.size(); ++p) {
    size_t width = std::max<size_t>(report.labels[p].size(), 4);
    for (const auto& row : report.confusion) width = std::max(width, countText(row[p]).size());
    widths.push_back(width + 2);
  }
  out += std::string(nameWidth, ' ');
  for (size_t p = 0; p < report.labels.size(); ++p) {
    out += p + 1 < report.labels.size() ? padded(report.labels[p], widths[p]) : report.labels[p];
  }
  out += "\n";
  for (size_t s = 0; s < report.labels.size(); ++s) {
    out += padded(report.labels[s], nameWidth);
    for (size_t p = 0; p < report.labels.size(); ++p) {
      std::string count = countText(report.confusion[s][p]);
      out += p + 1 < report.labels.size() ? padded(count, widths[p]) : count;
    }
    out += "\n";
  }
  return out;
}

std::string formatReportCsv(const EvaluationReport& report) {
  std::string out =
      "kind,category,predicted_category,precision,recall,f1,accuracy,support,predicted,correct,"
      "count\n";
  for (const CategoryScores& s : report.categories) {
    out += "category," + csvField(s.category) + ",," + shortestDecimal(s.precision) + "," +
           shortestDecimal(s.recall) + "," + shortestDecimal(s.f1) + ",," +
           shortestDecimal(s.support) + "," + countText(s.predicted) + "," +
           countText(s.correct) + ",\n";
  }
  out += "micro,,," + shortestDecimal(report.microPrecision) + "," +
         shortestDecimal(report.microRecall) + "," + shortestDecimal(report.microF1) + ",," +
         shortestDecimal(report.microSupport) + "," + countText(report.microPredicted) + "," +
         countText(report.microCorrect) + ",\n";
  out += "macro,,," + shortestDecimal(report.macroPrecision) + "," +
         shortestDecimal(report.macroRecall) + "," + shortestDecimal(report.macroF1) + ",,,,,\n";
  out += "accuracy,,,,,," + shortestDecimal(report.accuracy) + ",," +
         countText(report.predictionCount) + "," + countText(report.correctCount) + ",\n";
  for (size_t s = 0; s < report.labels.size(); ++s) {
    for (size_t p = 0; p < report.labels.size(); ++p) {
      out += "confusion," + csvField(report.labels[s]) + "," + csvField(report.labels[p]) +
             ",,,,,,,," + countText(report.confusion[s][p]) + "\n";
    }
  }
  return out;
}

std::string formatReportJson(const EvaluationReport& report) {
  std::string out = "{\n";
  out += "  \"table\": " + jsonString(report.tableName) + ",\n";
  out += "  \"predictions\": " + countText(report.predictionCount) + ",\n";
  out += "  \"correct\": " + countText(report.correctCount) + ",\n";
  out += "  \"accuracy\": " + shortestDecimal(report.accuracy) + ",\n";
  out += "  \"categories\": [";
  for (size_t i = 0; i < report.categories.size(); ++i) {
    const CategoryScores& s = report.categories[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\"category\": " + jsonString(s.category) +
           ", \"precision\": " + shortestDecimal(s.precision) +
           ", \"recall\": " + shortestDecimal(s.recall) + ", \"f1\": " + shortestDecimal(s.f1) +
           ", \"support\": " + shortestDecimal(s.support) +
           ", \"predicted\": " + countText(s.predicted) + ", \"correct\": " +
           countText(s.correct) + "}";
  }
  out += report.categories.empty() ? "],\n" : "\n  ],\n";
  out += "  \"micro\": {\"precision\": " + shortestDecimal(report.microPrecision) +
         ", \"recall\": " + shortestDecimal(report.microRecall) +
         ", \"f1\": " + shortestDecimal(report.microF1) +
         ", \"support\": " + shortestDecimal(report.microSupport) +
         ", \"predicted\": " + countText(report.microPredicted) +
         ", \"correct\": " + countText(report.microCorrect) + "},\n";
  out += "  \"macro\": {\"precision\": " + shortestDecimal(report.macroPrecision) +
         ", \"recall\": " + shortestDecimal(report.macroRecall) +
         ", \"f1\": " + shortestDecimal(report.macroF1) +
         ", \"f1_is\": \"mean of the per-category F1 values\"},\n";
  out += "  \"confusion\": {\"rows\": \"stored category\", \"columns\": \"predicted category\", "
         "\"labels\": [";
  for (size_t i = 0; i < report.labels.size(); ++i) {
    out += (i == 0 ? "" : ", ") + jsonString(report.labels[i]);
  }
  out += "], \"matrix\": [";
  for (size_t s = 0; s < report.labels.size(); ++s) {
    out += s == 0 ? "[" : ", [";
    for (size_t p = 0; p < report.labels.size(); ++p) {
      out += (p == 0 ? "" : ", ") + countText(report.confusion[s][p]);
    }
    out += "]";
  }
  out += "]}\n}\n";
  return out;
}

}  // namespace newsclass
