#include "tune/tune_run.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

#include "base/errors.h"
#include "base/parallel.h"
#include "base/text_utils.h"
#include "evaluation/evaluation.h"

namespace newsclass {

namespace {

// The seconds since `start`, to the clock's own resolution: a model of a small fold trains in
// well under the millisecond the stages' clock counts in.
double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool hasKey(const TuneSetting& setting, const std::string& key) {
  return std::any_of(setting.begin(), setting.end(),
                     [&](const auto& entry) { return entry.first == key; });
}

}  // namespace

TuneChoice tuneChoiceOf(const TuneSetting& setting, const CategoryList& categories) {
  TuneChoice choice;
  choice.model.classifier = "linear";
  choice.model.categories = categories;
  for (const auto& [key, value] : setting) {
    choice.text += (choice.text.empty() ? "" : " ") + key + "=" + value;
    if (key == "classifier") {
      choice.model.classifier = value;
    } else if (key == "vote") {
      choice.model.similarityVote = value == "similarity";
    } else if (key == "weighting") {
      choice.model.weighting = value == "tfidf" ? Weighting::kTfidf : Weighting::kSpec;
    } else if (key == "c") {
      choice.model.cost = parseDouble(value).value_or(1.0);  // checked by the grid
    } else if (key == "class_weight") {
      choice.model.balancedClassWeights = value == "balanced";
    } else if (key == "knn_weight") {
      choice.model.knnWeight = parseDouble(value).value_or(0.0);
    } else if (key == "k") {
      choice.model.k = parseInt32(value).value_or(10);
    } else if (key == "terms") {
      choice.terms = termKindsNamed(value).value_or(TermKinds::kWords);
    } else if (key == "measure") {
      choice.measure = value;
    } else if (key == "count") {
      choice.count = parseInt32(value).value_or(1000);
    }
  }
  const bool knn = choice.model.classifier == "knn";
  for (const char* key : {"vote", "weighting"}) {
    if (!knn && hasKey(setting, key)) {
      throw UsageError(std::string("--grid: ") + key + " belongs to the KNN, not the " +
                       choice.model.classifier + " classifier (" + choice.text + ")");
    }
  }
  for (const char* key : {"c", "class_weight"}) {
    if (knn && hasKey(setting, key)) {
      throw UsageError(std::string("--grid: ") + key +
                       " belongs to the linear classifiers, not "
                       "the KNN (" +
                       choice.text + ")");
    }
  }
  if (choice.model.knnWeight > 0.0 && choice.model.classifier != "linear") {
    throw UsageError(
        "--grid: knn_weight: the neighbour blend raises the linear SVMs' decision "
        "values, not the " +
        choice.model.classifier + " classifier's (" + choice.text + ")");
  }
  // The pipeline options that build the same model, in a fixed order.
  std::vector<std::string>& options = choice.pipelineOptions;
  if (knn) {
    options = {"--classifier", "knn",
               "--k",          std::to_string(choice.model.k),
               "--vote",       choice.model.similarityVote ? "similarity" : "count",
               "--weighting",  choice.model.weighting == Weighting::kTfidf ? "tfidf" : "spec"};
    options.insert(options.end(), {"--terms", termKindsName(choice.terms), "--measure",
                                   choice.measure, "--count", std::to_string(choice.count)});
    return choice;
  }
  options = {"--classifier", choice.model.classifier, "--c", shortestDecimal(choice.model.cost)};
  if (choice.model.balancedClassWeights)
    options.insert(options.end(), {"--class-weight", "balanced"});
  if (choice.model.knnWeight > 0.0) {
    options.insert(options.end(), {"--knn-weight", shortestDecimal(choice.model.knnWeight), "--k",
                                   std::to_string(choice.model.k)});
  }
  options.insert(options.end(), {"--terms", termKindsName(choice.terms), "--measure",
                                 choice.measure, "--count", std::to_string(choice.count)});
  return choice;
}

double tuneMetric(TuneMetric metric, const std::vector<int>& labels, const std::vector<int>& truth,
                  size_t classCount) {
  if (metric == TuneMetric::kAccuracy) {
    size_t correct = 0;
    for (size_t i = 0; i < labels.size(); ++i) correct += labels[i] == truth[i];
    return labels.empty() ? 0.0 : static_cast<double>(correct) / static_cast<double>(labels.size());
  }
  std::vector<double> predicted(classCount, 0.0), found(classCount, 0.0), support(classCount, 0.0);
  for (size_t i = 0; i < labels.size(); ++i) {
    if (labels[i] >= 0 && static_cast<size_t>(labels[i]) < classCount) predicted[labels[i]] += 1;
    if (truth[i] >= 0 && static_cast<size_t>(truth[i]) < classCount) support[truth[i]] += 1;
    if (labels[i] == truth[i] && truth[i] >= 0) found[truth[i]] += 1;
  }
  double sum = 0.0;
  for (size_t c = 0; c < classCount; ++c) {
    sum += f1Of(precisionOf(found[c], predicted[c]), recallOf(found[c], support[c]));
  }
  return classCount == 0 ? 0.0 : sum / static_cast<double>(classCount);
}

std::vector<TuneScore> runTune(const std::vector<SegmentedArticle>& articles,
                               const std::vector<int>& folds, int foldCount,
                               const CategoryList& categories,
                               const std::vector<TuneChoice>& choices, TuneMetric metric,
                               int threads, const std::function<void(size_t done)>& advance) {
  std::vector<TuneScore> scores(choices.size());
  for (TuneScore& score : scores) score.folds.assign(static_cast<size_t>(foldCount), 0.0);
  // The choices grouped by their terms (one fold corpus each), then by measure and count (one
  // selection each), each group in grid order.
  using Selections = std::map<std::pair<std::string, int32_t>, std::vector<size_t>>;
  // A setting that builds the same model as an earlier one (a K without a neighbour blend to
  // use it) is scored with it, not again.
  std::map<std::vector<std::string>, size_t> firstWithOptions;
  std::vector<std::vector<size_t>> sameAs(choices.size());
  std::map<int, Selections> groups;
  for (size_t i = 0; i < choices.size(); ++i) {
    const auto [first, isNew] = firstWithOptions.emplace(choices[i].pipelineOptions, i);
    if (!isNew) {
      sameAs[first->second].push_back(i);
      continue;
    }
    groups[static_cast<int>(choices[i].terms)][{choices[i].measure, choices[i].count}].push_back(i);
  }
  // Every (terms, fold) is a task of its own: the fold's corpus, its selections, then their
  // members' models. Tasks run side by side, each fold's work then on one thread; a score
  // depends only on its task (each training seeds its own thread's shuffle), so the scores are
  // the same for any number of threads.
  std::vector<std::pair<std::pair<TermKinds, const Selections*>, int>> tasks;
  for (const auto& [terms, selections] : groups) {
    for (int fold = 0; fold < foldCount; ++fold) {
      tasks.push_back({{static_cast<TermKinds>(terms), &selections}, fold});
    }
  }
  // The costliest first, so that no long task starts last while the other threads idle: the
  // work grows with the terms of the corpus and the settings trained on it.
  size_t wordCount = 0, characterCount = 0;
  for (const SegmentedArticle& article : articles) {
    wordCount += article.words.size();
    characterCount += article.characters.size();
  }
  auto costOf = [&](const std::pair<std::pair<TermKinds, const Selections*>, int>& task) {
    const TermKinds terms = task.first.first;
    const double termCount =
        static_cast<double>((includesWords(terms) ? wordCount : 0) +
                            (includesChars(terms) ? characterCount : 0));
    size_t settings = 0;
    for (const auto& entry : *task.first.second) settings += entry.second.size();
    return termCount * static_cast<double>(settings + 1);
  };
  std::stable_sort(tasks.begin(), tasks.end(),
                   [&](const auto& a, const auto& b) { return costOf(a) > costOf(b); });
  const int taskThreads = threads > 1 && tasks.size() > 1 ? 1 : threads;
  std::vector<std::vector<double>> seconds(
      choices.size(), std::vector<double>(static_cast<size_t>(foldCount), 0.0));
  std::mutex progress;
  size_t done = 0;
  runInParallel(threads, tasks.size(), [&](size_t task, size_t) {
    const auto [terms, selections] = tasks[task].first;
    const int fold = tasks[task].second;
    const FoldCorpusPtr corpus = prepareFoldCorpus(articles, folds, fold, categories, terms);
    for (const auto& [selection, members] : *selections) {
      const PreparedFoldPtr prepared =
          prepareFold(corpus, selection.first, selection.second, taskThreads);
      auto record = [&](size_t member, const std::vector<int>& labels, double taken) {
        const double score = tuneMetric(metric, labels, heldOutClasses(*prepared), categories.size());
        for (size_t same = 0; same <= sameAs[member].size(); ++same) {
          const size_t scored = same == 0 ? member : sameAs[member][same - 1];
          scores[scored].folds[static_cast<size_t>(fold)] = score;
          seconds[scored][static_cast<size_t>(fold)] = taken;
          const std::lock_guard<std::mutex> counting(progress);
          ++done;
          if (advance) advance(done);
        }
      };
      // The KNN settings of each weighting share one search for their largest K: the first k
      // neighbours of that list are the k nearest. Its time is shared out among them.
      std::map<Weighting, std::vector<size_t>> knnByWeighting;
      for (size_t member : members) {
        if (choices[member].model.classifier == "knn") {
          knnByWeighting[choices[member].model.weighting].push_back(member);
          continue;
        }
        const auto started = std::chrono::steady_clock::now();
        const std::vector<int> labels = labelHeldOut(*prepared, choices[member].model);
        record(member, labels, secondsSince(started));
      }
      for (const auto& [weighting, knnMembers] : knnByWeighting) {
        const auto searchStarted = std::chrono::steady_clock::now();
        int largestK = 1;
        for (size_t member : knnMembers) largestK = std::max(largestK, choices[member].model.k);
        const auto neighbours = heldOutNeighbours(*prepared, weighting, largestK, taskThreads);
        const double searchShare =
            secondsSince(searchStarted) / static_cast<double>(knnMembers.size());
        for (size_t member : knnMembers) {
          const auto started = std::chrono::steady_clock::now();
          const ModelDescription& model = choices[member].model;
          const std::vector<int> labels =
              voteHeldOut(*prepared, neighbours, model.k, model.similarityVote, categories);
          record(member, labels, searchShare + secondsSince(started));
        }
      }
    }
  });
  for (size_t member = 0; member < choices.size(); ++member) {
    for (double taken : seconds[member]) scores[member].seconds += taken;
  }
  for (TuneScore& score : scores) {
    double sum = 0.0;
    for (double value : score.folds) sum += value;
    score.mean = sum / static_cast<double>(foldCount);
    double squares = 0.0;
    for (double value : score.folds) squares += (value - score.mean) * (value - score.mean);
    score.deviation = foldCount > 1 ? std::sqrt(squares / static_cast<double>(foldCount - 1)) : 0.0;
  }
  return scores;
}

}  // namespace newsclass
