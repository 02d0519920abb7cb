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

// What a fold's stages make before any classifier: the feature words of its training
// articles and their vectors, and the held-out articles' vectors.
struct PreparedFold;
struct FoldDeleter {
  void operator()(PreparedFold* fold) const;
};
using PreparedFoldPtr = std::unique_ptr<PreparedFold, FoldDeleter>;

// Prepares fold `heldOut` of `articles` (in ascending id, ids unique; folds[i] is article i's
// fold, -1 for one never held out) with `terms`, the feature measure and count as
// select-features takes them (count 0: every word). `threads` count the contingency cells.
PreparedFoldPtr prepareFold(const std::vector<SegmentedArticle>& articles,
                            const std::vector<int>& folds, int heldOut,
                            const CategoryList& categories, TermKinds terms,
                            const std::string& measure, int32_t count, int threads);

// The feature words of a prepared fold, in keywords.dat's order.
const std::vector<std::string>& foldKeywords(const PreparedFold& fold);
// The held-out articles' ids and classes, in ascending id.
const std::vector<int32_t>& heldOutIds(const PreparedFold& fold);
const std::vector<int>& heldOutClasses(const PreparedFold& fold);

// The label (class) of every held-out article under the linear classifier `description`
// describes (linear or logistic, C, class weights, neighbour blend; its categories are the
// list's), as classify labels testing articles.
std::vector<int> labelHeldOut(const PreparedFold& fold, const ModelDescription& description);

}  // namespace newsclass

#endif  // NEWSCLASS_TUNE_FOLD_RUN_H_
