#include "tune/fold_run.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "base/errors.h"
#include "contingency/contingency_counting.h"
#include "dictionary/posting_adder.h"
#include "features/measure_selection.h"
#include "linear/linear_run.h"
#include "models/linear_classifier.h"
#include "vsm/keyword_weights.h"
#include "vsm/testing_vsm.h"
#include "vsm/tfidf_weights.h"

namespace newsclass {

struct PreparedFold {
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
    fold->heldOutIds.push_back(articles[i].id);
    fold->heldOutClasses.push_back(articles[i].category);
    fold->heldOutVectors.push_back(vsm::tfidfTestingVector(statistics, counter, n));
  }
  return fold;
}

const std::vector<std::string>& foldKeywords(const PreparedFold& fold) { return fold.keywords; }
const std::vector<int32_t>& heldOutIds(const PreparedFold& fold) { return fold.heldOutIds; }
const std::vector<int>& heldOutClasses(const PreparedFold& fold) { return fold.heldOutClasses; }

std::vector<int> labelHeldOut(const PreparedFold& fold, const ModelDescription& description) {
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
