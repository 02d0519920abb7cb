#include "tune/fold_run.h"

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>
#include <memory>
#include <optional>
#include <string_view>

#include "base/errors.h"
#include "contingency/contingency_counting.h"
#include "dictionary/posting_adder.h"
#include "features/measure_selection.h"
#include "knn/neighbour_vote.h"
#include "knn/test_set_run.h"
#include "linear/linear_run.h"
#include "models/linear_classifier.h"
#include "vsm/keyword_weights.h"
#include "vsm/testing_vsm.h"
#include "vsm/tfidf_weights.h"
#include "vsm/training_vsm.h"
#include "vsm/written_weights.h"

namespace newsclass {

// The fold's training corpus, renumbered 1 to n in id order: the dictionary, the category
// lists and the class of each article as the stages would read them from such a table, and the
// contingency table once a measure needs it.
struct FoldCorpus {
  const std::vector<SegmentedArticle>* articles = nullptr;
  const std::vector<int>* folds = nullptr;
  int heldOut = 0;
  CategoryList categories;
  TermKinds terms = TermKinds::kWords;
  Dictionary dictionary;
  ArticleRange range;                // 1 to n: the renumbered training articles
  std::vector<int> trainingClasses;  // per renumbered training article
  CategoryArticles categoryArticles;
  std::vector<int32_t> articlesOf;   // per class
  // Counted by the first measure that uses it. Selection adds the cells it finds missing, at
  // their zero counts, so a later selection reads the same numbers from it.
  std::optional<ContingencyTable> table;
};

struct PreparedFold {
  std::shared_ptr<FoldCorpus> corpus;
  std::vector<size_t> heldOutPositions;  // in the corpus's articles
  std::vector<std::string> keywords;
  std::vector<int32_t> heldOutIds;
  std::vector<int> heldOutClasses;
  std::vector<WeightedKeywordList> heldOutVectors;
  // The linear models' training set, built by the first that needs it and shared by the rest,
  // and each model trained on it, by classifier, C and class weights: settings that differ only
  // in the neighbour blend share one.
  std::optional<LinearTrainingSet> linearTraining;
  std::map<std::tuple<std::string, double, bool>, LinearModel> linearModels;
};

void FoldDeleter::operator()(PreparedFold* fold) const { delete fold; }

const WordList& termsOf(const SegmentedArticle& article, TermKinds kinds, WordList& joined) {
  if (kinds == TermKinds::kWords) return article.words;
  if (kinds == TermKinds::kChars) return article.characters;
  joined.assign(article.words.begin(), article.words.end());
  joined.insert(joined.end(), article.characters.begin(), article.characters.end());
  return joined;
}

FoldCorpusPtr prepareFoldCorpus(const std::vector<SegmentedArticle>& articles,
                                const std::vector<int>& folds, int heldOut,
                                const CategoryList& categories, TermKinds terms) {
  auto corpus = std::make_shared<FoldCorpus>();
  corpus->articles = &articles;
  corpus->folds = &folds;
  corpus->heldOut = heldOut;
  corpus->categories = categories;
  corpus->terms = terms;
  for (const std::string& category : categories) corpus->categoryArticles[category];
  corpus->articlesOf.assign(categories.size(), 0);
  PostingAdder adder(corpus->dictionary);
  WordList joined;
  int32_t renumbered = 0;
  for (size_t i = 0; i < articles.size(); ++i) {
    if (folds[i] == heldOut) continue;
    const SegmentedArticle& article = articles[i];
    adder.addArticle(termsOf(article, terms, joined), ++renumbered);
    corpus->trainingClasses.push_back(article.category);
    if (article.category >= 0) {
      corpus->categoryArticles[categories[static_cast<size_t>(article.category)]].push_back(renumbered);
      ++corpus->articlesOf[static_cast<size_t>(article.category)];
    }
  }
  adder.finish();
  corpus->range = {1, renumbered};
  return corpus;
}

PreparedFoldPtr prepareFold(const FoldCorpusPtr& shared, const std::string& measure,
                            int32_t count, int threads) {
  PreparedFoldPtr fold(new PreparedFold);
  fold->corpus = shared;
  FoldCorpus& corpus = *shared;
  const CategoryList& categories = corpus.categories;
  const int32_t n = corpus.range.lastId;
  ContingencyTable unused;
  if (measureUsesTable(measure) && !corpus.table) {
    corpus.table.emplace();
    countContingencyCells(corpus.dictionary, corpus.categoryArticles, *corpus.table, threads);
  }
  const std::vector<std::string_view> selected = keywordsByMeasure(
      measure, categories, corpus.dictionary, corpus.table ? *corpus.table : unused, count, n,
      [&](const std::string& category) {
        const auto listed = std::find(categories.begin(), categories.end(), category);
        return corpus.articlesOf[static_cast<size_t>(listed - categories.begin())];
      });
  fold->keywords.assign(selected.begin(), selected.end());

  // The held-out articles, weighted as the testing articles are against the fold's dictionary.
  const std::vector<KeywordStatistic> statistics =
      vsm::statisticsOf(vsm::findPostingLists(corpus.dictionary, fold->keywords));
  vsm::KeywordCounter counter(fold->keywords);
  WordList joined;
  const std::vector<SegmentedArticle>& articles = *corpus.articles;
  for (size_t i = 0; i < articles.size(); ++i) {
    if ((*corpus.folds)[i] != corpus.heldOut) continue;
    counter.count(termsOf(articles[i], corpus.terms, joined));
    fold->heldOutPositions.push_back(i);
    fold->heldOutIds.push_back(articles[i].id);
    fold->heldOutClasses.push_back(articles[i].category);
    fold->heldOutVectors.push_back(vsm::tfidfTestingVector(statistics, counter, n));
  }
  return fold;
}

PreparedFoldPtr prepareFold(const std::vector<SegmentedArticle>& articles,
                            const std::vector<int>& folds, int heldOut,
                            const CategoryList& categories, TermKinds terms,
                            const std::string& measure, int32_t count, int threads) {
  return prepareFold(prepareFoldCorpus(articles, folds, heldOut, categories, terms), measure, count,
                     threads);
}

const std::vector<std::string>& foldKeywords(const PreparedFold& fold) { return fold.keywords; }
const std::vector<int32_t>& heldOutIds(const PreparedFold& fold) { return fold.heldOutIds; }
const std::vector<int>& heldOutClasses(const PreparedFold& fold) { return fold.heldOutClasses; }

std::vector<std::vector<NeighbourEntry>> heldOutNeighbours(const PreparedFold& fold,
                                                           Weighting weighting, int k,
                                                           int threads) {
  const FoldCorpus& corpus = *fold.corpus;
  const int32_t n = corpus.range.lastId;
  if (k < 1 || k > n) {
    throw UsageError("--grid: k=" + std::to_string(k) + ": a fold trains on " + std::to_string(n) +
                     " articles, fewer than K (lower k or --folds)");
  }
  if (fold.keywords.empty()) {
    throw UsageError("--grid: a fold selects no feature word, so the KNN has no vector to compare "
                     "(raise count)");
  }
  // The training vectors of the fold's corpus, as build-vectors makes them.
  const std::vector<const PostingList*> lists = vsm::findPostingLists(corpus.dictionary, fold.keywords);
  const std::vector<KeywordStatistic> statistics = vsm::statisticsOf(lists);
  const vsm::WeightTable table(statistics, n);
  VsmModel training;
  vsm::addWeightedTrainingVectors(weighting, lists, table, corpus.range, training, threads);
  // The held-out articles' vectors, as build-vectors weighs testing articles.
  VsmModel heldOut;
  vsm::KeywordCounter counter(fold.keywords);
  WordList joined;
  for (size_t position : fold.heldOutPositions) {
    const SegmentedArticle& article = (*corpus.articles)[position];
    counter.count(termsOf(article, corpus.terms, joined));
    heldOut.emplace(article.id, vsm::testingVectorOf(weighting, table, statistics, counter, n));
  }
  // classify reads the vectors back from their files: six significant digits.
  vsm::roundModelAsWritten(training, threads);
  vsm::roundModelAsWritten(heldOut, threads);
  std::vector<std::vector<NeighbourEntry>> neighbours;
  neighbours.reserve(heldOut.size());
  forEachNeighbourList(
      training, heldOut, k,
      [&](int32_t, const std::vector<NeighbourEntry>& list) { neighbours.push_back(list); },
      threads);
  return neighbours;
}

std::vector<int> voteHeldOut(const PreparedFold& fold,
                             const std::vector<std::vector<NeighbourEntry>>& neighbours, int k,
                             bool similarityVote, const CategoryList& categories) {
  // A training article of no listed category votes for a name no category has.
  auto storedCategory = [&](int32_t id) -> std::string {
    const int category = fold.corpus->trainingClasses[static_cast<size_t>(id - 1)];
    return category < 0 ? std::string() : categories[static_cast<size_t>(category)];
  };
  std::vector<int> labels;
  labels.reserve(neighbours.size());
  for (const std::vector<NeighbourEntry>& list : neighbours) {
    const size_t count = std::min(list.size(), static_cast<size_t>(k));
    std::vector<CategoryVote> votes;
    if (similarityVote) {
      std::vector<std::pair<std::string, double>> stored;
      for (size_t i = 0; i < count; ++i) {
        stored.emplace_back(storedCategory(list[i].articleId), list[i].similarity);
      }
      votes = tallySimilarityVotes(std::move(stored), categories);
    } else {
      std::vector<std::string> stored;
      for (size_t i = 0; i < count; ++i) stored.push_back(storedCategory(list[i].articleId));
      votes = tallyVotes(std::move(stored), categories);
    }
    const auto listed = std::find(categories.begin(), categories.end(), votes.front().category);
    labels.push_back(static_cast<int>(listed - categories.begin()));
  }
  return labels;
}

std::vector<int> labelHeldOut(PreparedFold& fold, const ModelDescription& description,
                              int threads) {
  if (description.classifier == "knn") {
    return voteHeldOut(fold, heldOutNeighbours(fold, description.weighting, description.k, threads),
                       description.k, description.similarityVote, description.categories);
  }
  if (!fold.linearTraining) {
    const FoldCorpus& corpus = *fold.corpus;
    fold.linearTraining =
        linearTrainingSet(corpus.range, corpus.dictionary, fold.keywords, corpus.trainingClasses);
  }
  const LinearTrainingSet& training = *fold.linearTraining;
  const auto key = std::make_tuple(description.classifier, description.cost,
                                   description.balancedClassWeights);
  auto trained = fold.linearModels.find(key);
  if (trained == fold.linearModels.end()) {
    trained = fold.linearModels
                  .emplace(key, trainLinearModel(training, fold.keywords, linearSettings(description)))
                  .first;
  }
  const std::optional<NeighbourBlend> blend =
      neighbourBlendFor(description, training, fold.keywords.size());
  NeighbourBlend::Scratch scratch = blend ? blend->makeScratch() : NeighbourBlend::Scratch();
  std::vector<int> labels;
  labels.reserve(fold.heldOutVectors.size());
  std::vector<double> values;
  for (const WeightedKeywordList& vector : fold.heldOutVectors) {
    labels.push_back(linearLabel(trained->second, blend ? &*blend : nullptr, vector,
                                 description.categories.size(), values, &scratch));
  }
  return labels;
}

}  // namespace newsclass
