// The evaluation report as one self-contained HTML page (evaluate --format html): the model's
// parameters, the per-category table with the same numbers as the text report, the confusion
// matrix as a heat map and the per-category F1 as a bar chart (inline SVG), and the
// misclassified testing articles. Inline CSS and SVG only: no script, font or style from
// anywhere. The page is UTF-8; every text from the data (GBK) is converted and escaped.
#ifndef NEWSCLASS_EVALUATION_HTML_REPORT_H_
#define NEWSCLASS_EVALUATION_HTML_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/evaluation_report.h"

namespace newsclass {

struct MisclassifiedArticle {
  int32_t id = 0;
  std::string title;      // GBK
  std::string stored;     // GBK
  std::string predicted;  // GBK
  // The K nearest training articles (id, stored category, GBK) when known.
  std::vector<std::pair<int32_t, std::string>> neighbours;
};

// How many misclassified articles the page lists at most, the first in prediction order.
inline constexpr size_t kShownMisclassifiedArticles = 50;

struct HtmlReportInput {
  // (label, value) pairs, GBK: how the model was built, in display order.
  std::vector<std::pair<std::string, std::string>> parameters;
  // The first kShownMisclassifiedArticles are shown.
  std::vector<MisclassifiedArticle> misclassified;
  size_t misclassifiedTotal = 0;
  // Why the neighbours column is missing, empty when it is shown.
  std::string neighboursNote;
};

// GBK text as HTML text: converted to UTF-8 (bytes that are not GBK become U+FFFD) and with
// <, >, &, " and ' escaped; a control character (below 0x20, tab and line ends included, or
// DEL) is shown as the four characters of its escape, "\x1b", never written raw.
std::string htmlText(const std::string& gbk);

std::string formatReportHtml(const EvaluationReport& report, const HtmlReportInput& input);

}  // namespace newsclass

#endif  // NEWSCLASS_EVALUATION_HTML_REPORT_H_
