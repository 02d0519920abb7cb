// A classifier's answer to one article, and the one interface every classifier answers
// through. A model is loaded from a data folder (model_factory.h) and then asked about articles
// on as many threads as the caller likes, each with its own scratch; predict and a server hold
// a Model and never ask which kind it is.
#ifndef NEWSCLASS_MODELS_MODEL_H_
#define NEWSCLASS_MODELS_MODEL_H_

#include <memory>
#include <string>
#include <vector>

#include "knn/knn_types.h"
#include "segmentation/word_list.h"

namespace newsclass {

struct CategoryScore {
  std::string category;
  double score = 0.0;
};

// What a term of the text added to the winning category's decision value (its coefficient
// times its weight in the text).
struct TermContribution {
  std::string term;
  double value = 0.0;
};

struct ModelAnswer {
  // False when the words hold no keyword of the model (or only keywords of weight 0): the model
  // has nothing to go by, and the answer is no category with score 0.
  bool labelled = false;
  std::string category;
  // The category's score: the KNN's share of the votes, the linear SVMs' decision value, the
  // logistic regression's probability.
  double score = 0.0;
  // Categories with their scores, best first, ties in list order: the KNN's categories that got
  // votes with their shares (a leading run: it stops at the first without a vote), the linear
  // classifiers' every category with its decision value or probability.
  std::vector<CategoryScore> scores;
  // Asked for an explanation, a linear classifier's ten terms that added most to the winning
  // category's decision value, largest first; empty otherwise.
  std::vector<TermContribution> terms;
  // The KNN's K nearest training articles in rank order, with their similarities; empty for a
  // classifier without neighbours.
  std::vector<NeighbourEntry> neighbours;
};

class Model {
 public:
  virtual ~Model() = default;

  // Working memory of one thread's answers.
  class Scratch {
   public:
    virtual ~Scratch() = default;
  };
  virtual std::unique_ptr<Scratch> makeScratch() const = 0;

  // The answer to an article's words, cut and filtered as the training and testing articles
  // were (the tokeniser's result with the folder's stop words). With `explain`, a linear model
  // also says which terms weighed most. Thread-safe with a scratch per thread; a database fault
  // while reading the neighbours' categories reaches the caller.
  virtual ModelAnswer answer(const WordList& words, Scratch& scratch, bool explain) const = 0;
};

}  // namespace newsclass

#endif  // NEWSCLASS_MODELS_MODEL_H_
