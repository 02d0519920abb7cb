// loadLinearModel: the linear classifiers' answers to new text, through LinearPredictor.
#include "models/kind_models.h"

#include <optional>
#include <utility>
#include <vector>

#include "linear/linear_run.h"
#include "models/linear_classifier.h"

namespace newsclass {
namespace {

struct CounterScratch : Model::Scratch {
  CounterScratch(std::unique_ptr<vsm::KeywordCounter> keywordCounter,
                 NeighbourBlend::Scratch neighbourScratch)
      : counter(std::move(keywordCounter)), blend(std::move(neighbourScratch)) {}
  std::unique_ptr<vsm::KeywordCounter> counter;
  NeighbourBlend::Scratch blend;
};

// The description's neighbour blend, its classes read from the environment's database.
std::optional<NeighbourBlendChoice> blendChoiceOf(const ModelDescription& description,
                                                  const StageEnvironment& environment) {
  if (!(description.knnWeight > 0.0)) return std::nullopt;
  return NeighbourBlendChoice{
      [&description, &environment] {
        return linearTrainingClasses(environment, description.range, description.categories);
      },
      static_cast<size_t>(description.k), description.knnWeight};
}

class LinearMachinesModel : public Model {
 public:
  LinearMachinesModel(const ModelDescription& description, const StageEnvironment& environment)
      : LinearMachinesModel(description, blendChoiceOf(description, environment)) {}

  LinearMachinesModel(const ModelDescription& description,
                      const std::optional<NeighbourBlendChoice>& blend)
      : predictor_(description.range, description.files.dictionary,
                   description.files.keywords, description.files.linearModel,
                   description.categories, linearSettings(description).loss,
                   blend ? &*blend : nullptr) {}

  std::unique_ptr<Scratch> makeScratch() const override {
    return std::make_unique<CounterScratch>(predictor_.makeCounter(),
                                            predictor_.makeBlendScratch());
  }

  ModelAnswer answer(const WordList& words, Scratch& scratch, bool explain) const override {
    ModelAnswer answer;
    std::vector<CategoryVote> values;
    std::vector<std::pair<std::string, double>> terms;
    CounterScratch& own = static_cast<CounterScratch&>(scratch);
    answer.labelled = predictor_.decide(words, *own.counter, own.blend, answer.category, values,
                                        explain ? &terms : nullptr);
    if (!answer.labelled) return answer;
    for (CategoryVote& value : values) {
      if (value.category == answer.category) answer.score = value.weight;
      answer.scores.push_back({std::move(value.category), value.weight});
    }
    for (auto& [term, value] : terms) answer.terms.push_back({std::move(term), value});
    return answer;
  }

 private:
  LinearPredictor predictor_;
};

}  // namespace

std::unique_ptr<Model> loadLinearModel(const ModelDescription& description,
                                       const StageEnvironment& environment) {
  return std::make_unique<LinearMachinesModel>(description, environment);
}

}  // namespace newsclass
