// predict's answers as they are written: one line per input line, in the chosen format.
#ifndef NEWSCLASS_CLI_PREDICT_ANSWER_FORMAT_H_
#define NEWSCLASS_CLI_PREDICT_ANSWER_FORMAT_H_

#include <cstdint>
#include <string>

#include "models/model.h"

namespace newsclass {

struct AnswerFormat {
  std::string format = "text";  // text, tsv or jsonl
  bool tsvIds = false;          // the lines are --tsv lines: answers name the id, not the number
  bool neighbours = false;      // jsonl answers list the neighbours
  size_t top = 0;               // answers give this many best categories with scores; 0: as ever
  bool explain = false;         // jsonl answers list the terms that weighed most
};

// One input line on its way to its answer.
struct PendingLine {
  std::string file;     // GBK; empty unless the answers name their file
  std::string key;      // the line number as text, or the id of a --tsv line
  uint64_t number = 0;  // the line number
  std::string text;     // GBK
  ModelAnswer answer;
};

// The line's answer, GBK, ending in a newline. text: the category alone; with a top of N, the
// N best categories each followed by its score, space-separated. tsv: the file and a tab when
// the answers name their file, then the key, the category and its score, tab-separated (with a
// top of N, each of the N best categories and its score). jsonl: one object with "file" (when
// named), "id" (--tsv) or "line", "category", "score", and for a labelled line "top" (the
// answer's scores, the N best with a top of N) and, when asked, "neighbours" (ids and
// similarities) and "terms" (the terms that weighed most, with what each added). An unlabelled
// line has an empty category and score 0, and nothing else.
std::string formatAnswer(const PendingLine& line, const AnswerFormat& format);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_PREDICT_ANSWER_FORMAT_H_
