// loadKnnModel: the KNN's answers to new text, through KnnPredictor.
#include "models/kind_models.h"

#include <utility>
#include <vector>

#include "knn/knn_predictor.h"
#include "knn/neighbour_vote.h"

namespace newsclass {
namespace {

struct KnnScratch : Model::Scratch {
  explicit KnnScratch(KnnPredictor::Scratch predictorScratch)
      : predictor(std::move(predictorScratch)) {}
  KnnPredictor::Scratch predictor;
};


class KnnModel : public Model {
 public:
  KnnModel(const ModelDescription& description, const StageEnvironment& environment)
      : predictor_(environment, description.range,
                   {description.files.dictionary, description.files.keywords,
                    description.files.trainingVectors},
                   description.k, description.weighting, description.similarityVote,
                   description.categories) {}

  std::unique_ptr<Scratch> makeScratch() const override {
    return std::make_unique<KnnScratch>(predictor_.makeScratch());
  }

  ModelAnswer answer(const WordList& words, Scratch& scratch, bool /*explain*/) const override {
    KnnScratch& own = static_cast<KnnScratch&>(scratch);
    const WeightVector vector = predictor_.vectorOf(words, own.predictor);
    // Without a keyword of the model the text has no direction: every similarity would be the
    // same guess.
    if (vector.empty()) return {};
    ModelAnswer answer;
    predictor_.nearest(vector, own.predictor, answer.neighbours);
    const std::vector<CategoryVote> votes = predictor_.vote(answer.neighbours);
    answer.labelled = true;
    answer.category = votes.front().category;
    answer.score = voteShare(votes, predictor_.k(), predictor_.similarityVote());
    for (auto& [category, share] : voteShares(votes, predictor_.k(), predictor_.similarityVote())) {
      answer.scores.push_back({std::move(category), share});
    }
    return answer;
  }

 private:
  KnnPredictor predictor_;
};

}  // namespace

std::unique_ptr<Model> loadKnnModel(const ModelDescription& description,
                                    const StageEnvironment& environment) {
  return std::make_unique<KnnModel>(description, environment);
}

}  // namespace newsclass
