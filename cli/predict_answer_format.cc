#include "cli/predict_answer_format.h"

#include <vector>

#include "base/json_line.h"
#include "base/text_utils.h"

namespace newsclass {
namespace {

// The answer's scores, the best `format.top` of them when a top is asked for.
std::vector<CategoryScore> topScores(const ModelAnswer& answer, const AnswerFormat& format) {
  std::vector<CategoryScore> scores = answer.scores;
  if (format.top > 0 && scores.size() > format.top) scores.resize(format.top);
  return scores;
}

std::string jsonAnswer(const PendingLine& line, const AnswerFormat& format) {
  JsonLine json;
  if (!line.file.empty()) json.text("file", line.file);
  if (format.tsvIds) {
    json.text("id", line.key);
  } else {
    json.integer("line", static_cast<int64_t>(line.number));
  }
  const ModelAnswer& answer = line.answer;
  if (!answer.labelled) return json.text("category", "").number("score", 0.0).finish();
  json.text("category", answer.category).number("score", answer.score);
  json.openList("top");
  for (const CategoryScore& score : topScores(answer, format)) {
    json.openItem().text("category", score.category).number("score", score.score).closeItem();
  }
  json.closeList();
  if (format.neighbours) {
    json.openList("neighbours");
    for (const NeighbourEntry& neighbour : answer.neighbours) {
      json.openItem()
          .integer("id", neighbour.articleId)
          .number("similarity", neighbour.similarity)
          .closeItem();
    }
    json.closeList();
  }
  if (format.explain) {
    json.openList("terms");
    for (const TermContribution& term : answer.terms) {
      json.openItem().text("term", term.term).number("value", term.value).closeItem();
    }
    json.closeList();
  }
  return json.finish();
}

}  // namespace

std::string formatAnswer(const PendingLine& line, const AnswerFormat& format) {
  const ModelAnswer& answer = line.answer;
  if (format.format == "text") {
    if (format.top == 0 || !answer.labelled) return (answer.labelled ? answer.category : "") + "\n";
    std::string text;
    for (const CategoryScore& score : topScores(answer, format)) {
      text += (text.empty() ? "" : " ") + score.category + " " + shortestDecimal(score.score);
    }
    return text + "\n";
  }
  if (format.format == "tsv") {
    const std::string file = line.file.empty() ? "" : line.file + "\t";
    if (!answer.labelled) return file + line.key + "\t\t0\n";
    if (format.top == 0) {
      return file + line.key + "\t" + answer.category + "\t" + shortestDecimal(answer.score) + "\n";
    }
    std::string tsv = file + line.key;
    for (const CategoryScore& score : topScores(answer, format)) {
      tsv += "\t" + score.category + "\t" + shortestDecimal(score.score);
    }
    return tsv + "\n";
  }
  return jsonAnswer(line, format);
}

}  // namespace newsclass
