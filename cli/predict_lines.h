// predict's lines on their way to their answers: each input line split into its key and text,
// the texts of a batch cut into words and answered by the model on the run's threads, and the
// answers written in line order to standard output, flushed at the end of each batch.
#ifndef NEWSCLASS_CLI_PREDICT_LINES_H_
#define NEWSCLASS_CLI_PREDICT_LINES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/cmd_cli.h"
#include "cli/predict_answer_format.h"
#include "cli/predict_input.h"
#include "models/model.h"
#include "segmentation/stop_word_set.h"
#include "segmentation/term_kinds.h"

namespace newsclass {

class LineAnswerer {
 public:
  // Answers with `model`, cutting texts with the tokeniser in `environment` (whose segmenter
  // the caller starts) and the stop words it loads now; writes to the context's console.
  // `environment` must outlive the answerer.
  LineAnswerer(RunContext& context, const StageEnvironment& environment, const Model& model,
               TermKinds terms, AnswerFormat format);

  // Input `input` (0, 1, ...) begins: `where` names it in errors, `label` (GBK) in the answers
  // when they name their file. `ids`: the register its --tsv ids are checked against line by
  // line, or null when they were checked beforehand.
  void beginInput(size_t input, const std::string& where, std::string label, IdRegister* ids);

  // Splits line `number` (GBK; a --tsv line into its id and text); `where` names the input in an
  // error.
  void parse(std::string line, uint64_t number, const std::string& where, PendingLine& pending);

  // Answers a batch of lines: the words and the model's answers on the threads, the output in
  // line order.
  void answer(std::vector<PendingLine>& batch);

 private:
  RunContext& context_;
  const StageEnvironment& environment_;
  const Model& model_;
  TermKinds terms_;  // the terms a line yields, as the model was built with
  AnswerFormat format_;
  StopWordSet stopWords_;
  std::vector<std::unique_ptr<Model::Scratch>> scratch_;  // one per thread
  IdRegister* ids_ = nullptr;
  size_t input_ = 0;
  std::string label_;  // GBK; empty when the answers do not name their file
};

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_PREDICT_LINES_H_
