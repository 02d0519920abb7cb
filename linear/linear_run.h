// The linear classifier's stages: training on the training range's sparse TF-IDF vectors,
// taken straight from the dictionary and the keyword list (no vector file), and classifying the
// testing range's articles, segmented and weighted as the testing-vector stage does. Each takes
// the stages' environment and, where it needs it, the training range.
#ifndef NEWSCLASS_LINEAR_LINEAR_RUN_H_
#define NEWSCLASS_LINEAR_LINEAR_RUN_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/stage_environment.h"
#include "dictionary/dictionary.h"
#include "knn/knn_types.h"
#include "linear/linear_model.h"
#include "linear/neighbour_blend.h"
#include "vsm/testing_vsm.h"

namespace newsclass {

// The class of every training article of `range`, in id order: the position in `categories` of
// its stored category (TrainingCorpus, trimmed), or -1 for an article of another category or
// none, which training leaves out. A linear model has a machine per class, and a category
// without a training article would have none (its decision value minus infinity), so such a
// category is refused: UsageError "--categories: <name> has no training article in
// TrainingCorpus ids A-B; ...". Reads the database only, so commands check it before any stage
// writes a file.
std::vector<int> linearTrainingClasses(const StageEnvironment& environment, ArticleRange range,
                                       const std::vector<std::string>& categories);

// The training articles a linear model learns from: the tfidf vectors of the articles of
// `range` that have a class (linearTrainingClasses: class i is categories[i]), in id order,
// with their classes.
struct LinearTrainingSet {
  std::vector<WeightedKeywordList> vectors;
  std::vector<int> classes;
};
LinearTrainingSet linearTrainingSet(ArticleRange range, const Dictionary& dictionary,
                                    const std::vector<std::string>& keywords,
                                    const std::vector<int>& classes);

// Trains the model on the training set.
LinearModel trainLinearModel(const LinearTrainingSet& training,
                             const std::vector<std::string>& keywords,
                             const LinearSettings& settings);

// The label of one vector: the model's, or with a blend, the class of the highest raised value
// (ties to the category listed first). `values` gets every class's value, raised by the blend.
int linearLabel(const LinearModel& model, const NeighbourBlend* blend,
                const WeightedKeywordList& vector, size_t classCount, std::vector<double>& values,
                NeighbourBlend::Scratch* scratch);

// What each keyword of `vector` adds to `category`'s decision value (its coefficient times its
// weight), largest first (ties in keyword order), at most `limit` of them; with the bias they
// add up to the decision value.
std::vector<std::pair<std::string, double>> termContributions(
    const LinearModel& model, const WeightedKeywordList& vector,
    const std::vector<std::string>& keywords, int category, size_t limit);

// The tfidf vector of every article of `tableName` with text in [firstId, lastId], in id order,
// N being the size of the training range; cut into `terms` on the environment's threads. Prints the
// testing-vector stage's timing line.
std::vector<std::pair<int32_t, WeightedKeywordList>> sparseTestingVectors(
    const StageEnvironment& environment, ArticleRange range, const Dictionary& dictionary,
    const std::vector<std::string>& keywords, TermKinds terms, int32_t firstId, int32_t lastId,
    const std::string& tableName);

// Classifies every vector (with `blend`, when not null, raising the decision values): appends
// (id, category) to `results`. Prints the classification timing line, and a warning counting
// the vectors without a keyword.
void linearClassify(const StageEnvironment& environment, const LinearModel& model,
                    const NeighbourBlend* blend,
                    const std::vector<std::pair<int32_t, WeightedKeywordList>>& vectors,
                    const std::vector<std::string>& categories, ClassificationResults& results);

// Whether a sparse vector has a weight other than 0: a vector without one belongs to a text that
// holds no keyword of the model (or only keywords every training article holds).
bool holdsWeight(const WeightedKeywordList& vector);

// How many terms an explanation of a linear model's label lists.
inline constexpr size_t kExplainedTerms = 10;

// A neighbour blend a LinearPredictor builds as it loads: the classes of the training articles
// of its range (read once the model's files are loaded), K and the weight.
struct NeighbourBlendChoice {
  std::function<std::vector<int>()> classes;
  size_t k = 10;
  double weight = 0.0;
};

// Labelling new text with a saved linear model: the words of an article weighted with tfidf as
// the testing articles were, then the model's decision values. Thread-safe with a counter each.
class LinearPredictor {
 public:
  // Loads linear.model (trained with `loss`), the keywords and their statistics from dict.dat;
  // N is the size of `range`. With `blend`, every answer's decision values are raised by the
  // neighbours among the range's training articles (their vectors built from dict.dat here, the
  // dictionary itself not kept). DataFileError naming the file at fault, or when the model's
  // feature count differs from the keywords'.
  LinearPredictor(ArticleRange range, const std::string& dictionaryPath,
                  const std::string& keywordPath, const std::string& modelPath,
                  std::vector<std::string> categories, LinearLoss loss,
                  const NeighbourBlendChoice* blend = nullptr);
  std::unique_ptr<vsm::KeywordCounter> makeCounter() const;
  // A thread's scratch for the blend's searches (empty without a blend).
  NeighbourBlend::Scratch makeBlendScratch() const;
  // The category with the highest decision value, and every category's value (`weight`; for
  // logistic regression its probability instead), highest first, ties in list order. With
  // `explanation`, the ten keywords that added most to the category's decision value. False,
  // with no category and no values, when the words
  // hold no keyword of the model (or only keywords of weight 0): the decision values would be
  // the biases alone, the same for every such text.
  bool decide(const WordList& words, vsm::KeywordCounter& counter,
              NeighbourBlend::Scratch& blendScratch, std::string& category,
              std::vector<CategoryVote>& values,
              std::vector<std::pair<std::string, double>>* explanation = nullptr) const;

 private:
  std::vector<std::string> categories_;
  std::vector<std::string> keywords_;
  std::vector<KeywordStatistic> statistics_;
  int64_t collectionSize_ = 0;
  LinearModel model_;
  std::optional<NeighbourBlend> blend_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_LINEAR_LINEAR_RUN_H_
