// loadLinearSvmModel: the linear SVMs' answers to new text, through LinearPredictor.
#include "models/kind_models.h"

#include <utility>
#include <vector>

#include "linear/linear_run.h"

namespace newsclass {
namespace {

struct CounterScratch : Model::Scratch {
  explicit CounterScratch(std::unique_ptr<vsm::KeywordCounter> keywordCounter)
      : counter(std::move(keywordCounter)) {}
  std::unique_ptr<vsm::KeywordCounter> counter;
};

class LinearSvmModel : public Model {
 public:
  explicit LinearSvmModel(const ModelDescription& description)
      : predictor_(description.range, description.files.dictionary,
                   description.files.keywords, description.files.linearModel,
                   description.categories) {}

  std::unique_ptr<Scratch> makeScratch() const override {
    return std::make_unique<CounterScratch>(predictor_.makeCounter());
  }

  ModelAnswer answer(const WordList& words, Scratch& scratch) const override {
    ModelAnswer answer;
    std::vector<CategoryVote> values;
    answer.labelled = predictor_.decide(words, *static_cast<CounterScratch&>(scratch).counter,
                                        answer.category, values);
    if (!answer.labelled) return answer;
    for (CategoryVote& value : values) {
      if (value.category == answer.category) answer.score = value.weight;
      answer.scores.push_back({std::move(value.category), value.weight});
    }
    return answer;
  }

 private:
  LinearPredictor predictor_;
};

}  // namespace

std::unique_ptr<Model> loadLinearSvmModel(const ModelDescription& description,
                                          const StageEnvironment& /*environment*/) {
  return std::make_unique<LinearSvmModel>(description);
}

}  // namespace newsclass
