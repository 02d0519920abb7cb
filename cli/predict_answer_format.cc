#include "cli/predict_answer_format.h"

#include "base/json_line.h"
#include "base/text_utils.h"

namespace newsclass {
namespace {

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
  for (const CategoryScore& score : answer.scores) {
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
  return json.finish();
}

}  // namespace

std::string formatAnswer(const PendingLine& line, const AnswerFormat& format) {
  const ModelAnswer& answer = line.answer;
  if (format.format == "text") return (answer.labelled ? answer.category : "") + "\n";
  if (format.format == "tsv") {
    const std::string file = line.file.empty() ? "" : line.file + "\t";
    if (!answer.labelled) return file + line.key + "\t\t0\n";
    return file + line.key + "\t" + answer.category + "\t" + shortestDecimal(answer.score) + "\n";
  }
  return jsonAnswer(line, format);
}

}  // namespace newsclass
