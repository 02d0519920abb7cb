// A model as the server holds it: the classifier loaded from a data folder together with
// everything that cuts a text the way the model's texts were cut (its own segmenter on the
// folder's lexicon and user dictionary, the stop words, the terms), and what the server tells
// about it. Once made it never changes, so request threads share it freely; a reload makes a
// new one beside it.
#ifndef NEWSCLASS_SERVE_SERVED_MODEL_H_
#define NEWSCLASS_SERVE_SERVED_MODEL_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/console.h"
#include "base/stage_environment.h"
#include "models/model.h"
#include "models/model_description.h"
#include "segmentation/segmenter.h"
#include "segmentation/stop_word_set.h"

namespace newsclass {

// What the server tells about a model besides its answers.
struct ServedModelFacts {
  // The facts model.json records, GBK, in key order.
  std::vector<std::pair<std::string, std::string>> recorded;
  // 16 hex digits of the XXH3-64 of model.json's bytes: two loads of the same folder state
  // have the same fingerprint.
  std::string fingerprint;
};

class ServedModel {
 public:
  // Starts a segmenter of its own on the environment's lexicon and user dictionary, loads the
  // environment's stop words and the model `description` describes (DataFileError and the
  // loading errors of loadModel). The environment's console takes the start-up and loading
  // lines; nothing else of it is kept.
  ServedModel(const ModelDescription& description, const StageEnvironment& environment,
              ServedModelFacts facts);
  ~ServedModel();
  ServedModel(const ServedModel&) = delete;
  ServedModel& operator=(const ServedModel&) = delete;

  const std::string& classifier() const { return classifier_; }
  bool answersByNeighbours() const { return answersByNeighbours_; }
  const ServedModelFacts& facts() const { return facts_; }
  // The categories in list order, GBK.
  const std::vector<std::string>& categories() const { return categories_; }
  // A category's name in UTF-8 (computed once per category).
  const std::string& categoryInUtf8(const std::string& gbk) const;

  // The generation the server gave the model when it began answering with it (1, 2, ...).
  uint64_t generation() const { return generation_; }
  void setGeneration(uint64_t generation) { generation_ = generation; }

  // Makes working memory for `count` requests at once now, so that the first requests the
  // model answers do not pay for it.
  void keepSpareScratch(size_t count);

  // The answers to GBK texts, in order, exactly as predict answers the same lines: an empty
  // or blank text, or one without a keyword of the model, is unlabelled. Thread-safe.
  std::vector<ModelAnswer> answer(std::span<const std::string> texts, bool explain) const;

 private:
  std::unique_ptr<Model::Scratch> takeScratch() const;
  void giveBackScratch(std::unique_ptr<Model::Scratch> scratch) const;

  Segmenter segmenter_;
  // Answering writes nothing, but the tokeniser asks its console whether to: a quiet console on
  // a stream without a buffer says no.
  std::ostream nowhere_{nullptr};
  Console quietConsole_{nowhere_, ConsoleEncoding::kUtf8, true};
  StageEnvironment environment_;  // points at segmenter_ and quietConsole_; no progress
  StopWordSet stopWords_;
  TermKinds terms_;
  std::string classifier_;
  bool answersByNeighbours_ = false;
  std::vector<std::string> categories_;
  std::unordered_map<std::string, std::string> utf8Categories_;
  ServedModelFacts facts_;
  uint64_t generation_ = 0;
  std::unique_ptr<Model> model_;
  // Scratch of the threads that answered before, reused so that a request does not pay for it.
  mutable std::mutex scratchMutex_;
  mutable std::vector<std::unique_ptr<Model::Scratch>> spareScratch_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_SERVED_MODEL_H_
