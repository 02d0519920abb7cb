#include "tune/fold_run.h"

#include <algorithm>
#include <limits>
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

struct PreparedFold {
  const std::vector<SegmentedArticle>* articles = nullptr;
  TermKinds terms = TermKinds::kWords;
  std::vector<size_t> heldOutPositions;  // in `articles`
  Dictionary dictionary;
  std::vector<std::string> keywords;
  ArticleRange range;              // 1 to n: the renumbered training articles
  std::vector<int> trainingClasses;  // per renumbered training article
  std::vector<int32_t> heldOutIds;
  std::vector<int> heldOutClasses;
  std::vector<WeightedKeywordList> heldOutVectors;
};

void FoldDeleter::operator()(PreparedFold* fold) const { delete fold; }

const WordList& termsOf(const SegmentedArticle& article, TermKinds kinds, WordList& joined) {
  if (kinds == TermKinds::kWords) return article.words;
  if (kinds == TermKinds::kChars) return article.characters;
  joined.assign(article.words.begin(), article.words.end());
  joined.insert(joined.end(), article.characters.begin(), article.characters.end());
  return joined;
}

PreparedFoldPtr prepareFold(const std::vector<SegmentedArticle>& articles,
                            const std::vector<int>& folds, int heldOut,
                            const CategoryList& categories, TermKinds terms,
                            const std::string& measure, int32_t count, int threads) {
  PreparedFoldPtr fold(new PreparedFold);
  fold->articles = &articles;
  fold->terms = terms;
  // The fold's training corpus, renumbered 1 to n in id order: the dictionary, the category
  // lists and the class of each article as the stages would read them from such a table.
  CategoryArticles categoryArticles;
  for (const std::string& category : categories) categoryArticles[category];
  std::vector<int32_t> articlesOf(categories.size(), 0);
  {
    PostingAdder adder(fold->dictionary);
    WordList joined;
    int32_t renumbered = 0;
    for (size_t i = 0; i < articles.size(); ++i) {
      if (folds[i] == heldOut) continue;
      const SegmentedArticle& article = articles[i];
      adder.addArticle(termsOf(article, terms, joined), ++renumbered);
      fold->trainingClasses.push_back(article.category);
      if (article.category >= 0) {
        categoryArticles[categories[static_cast<size_t>(article.category)]].push_back(renumbered);
        ++articlesOf[static_cast<size_t>(article.category)];
      }
    }
    adder.finish();
    fold->range = {1, renumbered};
  }
  const int32_t n = fold->range.lastId;
  ContingencyTable table;
  if (measureUsesTable(measure)) countContingencyCells(fold->dictionary, categoryArticles, table, threads);
  const std::vector<std::string_view> selected = keywordsByMeasure(
      measure, categories, fold->dictionary, table, count, n, [&](const std::string& category) {
        const auto listed = std::find(categories.begin(), categories.end(), category);
        return articlesOf[static_cast<size_t>(listed - categories.begin())];
      });
  fold->keywords.assign(selected.begin(), selected.end());

  // The held-out articles, weighted as the testing articles are against the fold's dictionary.
  const std::vector<KeywordStatistic> statistics =
      vsm::statisticsOf(vsm::findPostingLists(fold->dictionary, fold->keywords));
  vsm::KeywordCounter counter(fold->keywords);
  WordList joined;
  for (size_t i = 0; i < articles.size(); ++i) {
    if (folds[i] != heldOut) continue;
    counter.count(termsOf(articles[i], terms, joined));
    fold->heldOutPositions.push_back(i);
    fold->heldOutIds.push_back(articles[i].id);
    fold->heldOutClasses.push_back(articles[i].category);
    fold->heldOutVectors.push_back(vsm::tfidfTestingVector(statistics, counter, n));
  }
  return fold;
}

const std::vector<std::string>& foldKeywords(const PreparedFold& fold) { return fold.keywords; }
const std::vector<int32_t>& heldOutIds(const PreparedFold& fold) { return fold.heldOutIds; }
const std::vector<int>& heldOutClasses(const PreparedFold& fold) { return fold.heldOutClasses; }

std::vector<std::vector<NeighbourEntry>> heldOutNeighbours(const PreparedFold& fold,
                                                           Weighting weighting, int k,
                                                           int threads) {
  const int32_t n = fold.range.lastId;
  if (k < 1 || k > n) {
    throw UsageError("--grid: k=" + std::to_string(k) + ": a fold trains on " + std::to_string(n) +
                     " articles, fewer than K (lower k or --folds)");
  }
  if (fold.keywords.empty()) {
    throw UsageError("--grid: a fold selects no feature word, so the KNN has no vector to compare "
                     "(raise count)");
  }
  // The training vectors of the fold's corpus, as build-vectors makes them.
  const size_t dimension = fold.keywords.size();
  const std::vector<const PostingList*> lists = vsm::findPostingLists(fold.dictionary, fold.keywords);
  const std::vector<KeywordStatistic> statistics = vsm::statisticsOf(lists);
  const vsm::WeightTable table(statistics, n);
  VsmModel training;
  if (weighting == Weighting::kTfidf) {
    const std::vector<WeightedKeywordList> vectors = vsm::tfidfTrainingVectors(lists, 1, n, n);
    auto hint = training.end();
    for (size_t offset = 0; offset < vectors.size(); ++offset) {
      hint = training.insert_or_assign(hint, static_cast<int32_t>(1 + offset),
                                       vsm::denseOf(vectors[offset], dimension));
      ++hint;
    }
  } else {
    vsm::addTrainingVectors(lists, table, 1, n, training, threads);
  }
  // The held-out articles' vectors, as build-vectors weighs testing articles.
  VsmModel heldOut;
  vsm::KeywordCounter counter(fold.keywords);
  WordList joined;
  for (size_t position : fold.heldOutPositions) {
    const SegmentedArticle& article = (*fold.articles)[position];
    counter.count(termsOf(article, fold.terms, joined));
    heldOut.emplace(article.id, weighting == Weighting::kTfidf
                                    ? vsm::denseOf(vsm::tfidfTestingVector(statistics, counter, n),
                                                   dimension)
                                    : vsm::testingVector(table, counter));
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
    const int category = fold.trainingClasses[static_cast<size_t>(id - 1)];
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

std::vector<int> labelHeldOut(const PreparedFold& fold, const ModelDescription& description,
                              int threads) {
  if (description.classifier == "knn") {
    return voteHeldOut(fold, heldOutNeighbours(fold, description.weighting, description.k, threads),
                       description.k, description.similarityVote, description.categories);
  }
  const LinearMachines machines = trainLinearMachines(
      description, fold.range, fold.dictionary, fold.keywords, fold.trainingClasses);
  NeighbourBlend::Scratch scratch =
      machines.blend ? machines.blend->makeScratch() : NeighbourBlend::Scratch();
  std::vector<int> labels;
  labels.reserve(fold.heldOutVectors.size());
  std::vector<double> values;
  for (const WeightedKeywordList& vector : fold.heldOutVectors) {
    labels.push_back(linearLabel(machines.model, machines.blendOrNull(), vector,
                                 description.categories.size(), values, &scratch));
  }
  return labels;
}

}  // namespace newsclass
