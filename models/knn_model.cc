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

// The categories that got votes, each with its share, best first; the list stops at the first
// category without a vote.
std::vector<CategoryScore> voteShares(const std::vector<CategoryVote>& votes, int k,
                                      bool bySimilarity) {
  double total = 0.0;
  for (const CategoryVote& vote : votes) total += vote.weight;
  std::vector<CategoryScore> shares;
  for (size_t i = 0; i < votes.size() && votes[i].votes > 0; ++i) {
    const double share = bySimilarity ? (total > 0.0 ? votes[i].weight / total : 0.0)
                                      : static_cast<double>(votes[i].votes) / k;
    shares.push_back({votes[i].category, share});
  }
  return shares;
}

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

  ModelAnswer answer(const WordList& words, Scratch& scratch) const override {
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
    answer.scores = voteShares(votes, predictor_.k(), predictor_.similarityVote());
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
