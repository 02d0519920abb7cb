#include "cli/predict_lines.h"

#include <algorithm>
#include <utility>

#include "base/cluster.h"
#include "base/errors.h"
#include "base/parallel.h"
#include "segmentation/character_terms.h"
#include "segmentation/stop_words.h"
#include "segmentation/tokenizer.h"

namespace newsclass {

LineAnswerer::LineAnswerer(RunContext& context, const StageEnvironment& environment,
                           const Model& model, TermKinds terms, AnswerFormat format)
    : context_(context), environment_(environment), model_(model), terms_(terms),
      format_(std::move(format)),
      stopWords_(loadStopWords(environment)) {
  const size_t lanes = static_cast<size_t>(std::max(1, context.environment().threads));
  for (size_t lane = 0; lane < lanes; ++lane) scratch_.push_back(model_.makeScratch());
}

void LineAnswerer::beginInput(size_t input, const std::string& where, std::string label,
                              IdRegister* ids) {
  input_ = input;
  label_ = std::move(label);
  ids_ = ids;
  if (ids_ != nullptr) ids_->nameInput(input, where);
}

void LineAnswerer::parse(std::string line, uint64_t number, const std::string& where,
                         PendingLine& pending) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  pending.file = label_;
  pending.number = number;
  if (!format_.tsvIds) {
    pending.key = std::to_string(number);
    pending.text = std::move(line);
    return;
  }
  const size_t tab = line.find('\t');
  if (tab == std::string::npos) {
    if (!line.empty()) {
      throw DataFileError(where + ": line " + std::to_string(number) +
                          ": expected an id, a tab and the text");
    }
    pending.key.clear();
    pending.text.clear();
    return;
  }
  pending.key = line.substr(0, tab);
  pending.text = line.substr(tab + 1);
  if (ids_ != nullptr) ids_->add(pending.key, input_, where, number);
}

void LineAnswerer::answer(std::vector<PendingLine>& batch) {
  // Across the ranks of an MPI job each rank answers its share of the batch's lines (every
  // rank reads the same lines); rank 0 writes every share's answers in rank order, which is
  // line order.
  const ArticleRange lines = cluster::ownShareOf({0, static_cast<int32_t>(batch.size()) - 1});
  const size_t first = static_cast<size_t>(lines.firstId);
  const size_t count = static_cast<size_t>(lines.size());
  runInParallel(context_.environment().threads, count, [&](size_t task, size_t lane) {
    PendingLine& pending = batch[first + task];
    pending.answer = ModelAnswer();
    if (pending.text.find_first_not_of(" \t\r\v\f") == std::string::npos) return;
    pending.answer =
        model_.answer(articleTerms(environment_, &tokenizeArticle, pending.text, stopWords_, terms_),
                      *scratch_[lane], format_.explain);
  });
  std::string output;
  for (size_t i = first; i < first + count; ++i) output += formatAnswer(batch[i], format_);
  if (cluster::rank() != 0) {
    cluster::gatherToRoot(std::move(output), {});
    return;
  }
  context_.console().write(output);
  cluster::gatherToRoot("", [&](int, std::string answers) { context_.console().write(answers); });
  context_.console().flush();
}

}  // namespace newsclass
