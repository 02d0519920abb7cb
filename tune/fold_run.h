// One fold of cross-validation, done in memory as the stages would do it on a corpus that held
// just the fold's training articles: those of every other fold (and the articles of no listed
// category, which are never held out), renumbered 1 to n in id order. Their words build the
// dictionary, the contingency table and the feature words; the linear machines learn from
// their tfidf vectors and label the held-out articles' vectors, weighted as testing articles.
// The articles are segmented once, before any fold; settings that share terms, measure and
// count share one prepared fold.
#ifndef NEWSCLASS_TUNE_FOLD_RUN_H_
#define NEWSCLASS_TUNE_FOLD_RUN_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corpusdb/category_list.h"
#include "knn/knn_types.h"
#include "models/model_description.h"
#include "segmentation/term_kinds.h"
#include "segmentation/word_list.h"

namespace newsclass {

// A training article as tune reads it once: its id, its class (position in the category list,
// -1 for an article of no listed category) and its terms of each kind.
struct SegmentedArticle {
  int32_t id = 0;
  int category = -1;
  WordList words;       // the tokeniser's words
  WordList characters;  // the character terms
};

// The terms of an article of `kinds`, as the stages take them: words, then characters. One
// kind is the article's own list; both are joined in `joined`, which the result then is.
const WordList& termsOf(const SegmentedArticle& article, TermKinds kinds, WordList& joined);

// A fold's training corpus: the articles of every other fold (and those never held out) with
// their terms of one kind, their dictionary and, once a measure needs it, their contingency
// table, shared by every measure and count tried on the fold.
struct FoldCorpus;
using FoldCorpusPtr = std::shared_ptr<FoldCorpus>;

// The corpus of fold `heldOut` of `articles` (in ascending id, ids unique; folds[i] is article
// i's fold, -1 for one never held out) with `terms`. `articles`, `folds` must outlive it.
FoldCorpusPtr prepareFoldCorpus(const std::vector<SegmentedArticle>& articles,
                                const std::vector<int>& folds, int heldOut,
                                const CategoryList& categories, TermKinds terms);

// What a fold's stages make before any classifier: the feature words of its training
// articles and their vectors, and the held-out articles' vectors.
struct PreparedFold;
struct FoldDeleter {
  void operator()(PreparedFold* fold) const;
};
using PreparedFoldPtr = std::unique_ptr<PreparedFold, FoldDeleter>;

// The feature words of `corpus` by the measure and count as select-features takes them (count
// 0: every word), and the held-out articles' vectors. `threads` count the contingency cells
// when this is the first measure of the corpus to need them. Not to be called for one corpus
// from two threads at once.
PreparedFoldPtr prepareFold(const FoldCorpusPtr& corpus, const std::string& measure, int32_t count,
                            int threads);
// Both steps at once, for one measure and count.
PreparedFoldPtr prepareFold(const std::vector<SegmentedArticle>& articles,
                            const std::vector<int>& folds, int heldOut,
                            const CategoryList& categories, TermKinds terms,
                            const std::string& measure, int32_t count, int threads);

// The feature words of a prepared fold, in keywords.dat's order.
const std::vector<std::string>& foldKeywords(const PreparedFold& fold);
// The held-out articles' ids and classes, in ascending id.
const std::vector<int32_t>& heldOutIds(const PreparedFold& fold);
const std::vector<int>& heldOutClasses(const PreparedFold& fold);

// The label (class) of every held-out article under the classifier `description` describes
// (linear or logistic with C, class weights and neighbour blend; or the KNN with its K, vote
// and weighting; its categories are the list's), as classify labels testing articles.
// The linear classifiers of one fold share their training set, kept in the fold once built.
std::vector<int> labelHeldOut(PreparedFold& fold, const ModelDescription& description,
                              int threads = 1);

// The `k` nearest training articles of every held-out article under `weighting`, in rank order,
// found as classify's KNN finds them in the vector files (weights as written, ties to the lower
// id). The first j entries of each list are the j nearest, so one search serves every K up to
// `k`. UsageError when k exceeds the fold's training articles or the fold selects no keyword.
std::vector<std::vector<NeighbourEntry>> heldOutNeighbours(const PreparedFold& fold,
                                                           Weighting weighting, int k,
                                                           int threads);

// The KNN's label of every held-out article from the first `k` entries of its `neighbours`: the
// count vote, or the similarity vote when `similarityVote`, over `categories`, ties to the
// category listed first.
std::vector<int> voteHeldOut(const PreparedFold& fold,
                             const std::vector<std::vector<NeighbourEntry>>& neighbours, int k,
                             bool similarityVote, const CategoryList& categories);

}  // namespace newsclass

#endif  // NEWSCLASS_TUNE_FOLD_RUN_H_
