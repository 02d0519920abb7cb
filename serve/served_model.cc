#include "serve/served_model.h"

#include "base/encoding.h"
#include "models/model_factory.h"
#include "segmentation/character_terms.h"
#include "segmentation/segmenter_binding.h"
#include "segmentation/stop_words.h"
#include "segmentation/tokenizer.h"

namespace newsclass {

ServedModel::ServedModel(const ModelDescription& description, const StageEnvironment& environment,
                         ServedModelFacts facts)
    : environment_(environment), terms_(description.terms),
      classifier_(description.classifier),
      answersByNeighbours_(classifierNamed(description.classifier).answersByNeighbours()),
      categories_(description.categories), facts_(std::move(facts)) {
  environment_.segmenter = &segmenter_;
  environment_.progress = nullptr;
  startSegmenter(environment_);
  try {
    stopWords_ = loadStopWords(environment_);
    model_ = loadModel(description, environment_);
  } catch (...) {
    stopSegmenter(environment_);
    throw;
  }
  // The console belongs to the loader.
  environment_.console = &quietConsole_;
  for (const std::string& category : categories_) {
    utf8Categories_.emplace(category, gbkToUtf8(category));
  }
}

ServedModel::~ServedModel() { stopSegmenter(environment_); }

const std::string& ServedModel::categoryInUtf8(const std::string& gbk) const {
  static const std::string kNone;
  const auto found = utf8Categories_.find(gbk);
  return found == utf8Categories_.end() ? kNone : found->second;
}

std::unique_ptr<Model::Scratch> ServedModel::takeScratch() const {
  {
    std::lock_guard<std::mutex> lock(scratchMutex_);
    if (!spareScratch_.empty()) {
      std::unique_ptr<Model::Scratch> scratch = std::move(spareScratch_.back());
      spareScratch_.pop_back();
      return scratch;
    }
  }
  return model_->makeScratch();
}

void ServedModel::keepSpareScratch(size_t count) {
  std::lock_guard<std::mutex> lock(scratchMutex_);
  while (spareScratch_.size() < count) spareScratch_.push_back(model_->makeScratch());
}

void ServedModel::giveBackScratch(std::unique_ptr<Model::Scratch> scratch) const {
  std::lock_guard<std::mutex> lock(scratchMutex_);
  spareScratch_.push_back(std::move(scratch));
}

std::vector<ModelAnswer> ServedModel::answer(std::span<const std::string> texts,
                                             bool explain) const {
  std::vector<ModelAnswer> answers(texts.size());
  std::unique_ptr<Model::Scratch> scratch = takeScratch();
  try {
    for (size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].find_first_not_of(" \t\r\v\f") == std::string::npos) continue;
      answers[i] = model_->answer(
          articleTerms(environment_, &tokenizeArticle, texts[i], stopWords_, terms_), *scratch,
          explain);
    }
  } catch (...) {
    giveBackScratch(std::move(scratch));
    throw;
  }
  giveBackScratch(std::move(scratch));
  return answers;
}

}  // namespace newsclass
