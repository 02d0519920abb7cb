#include "cli/cmd_options.h"

#include <climits>

#include "features/measure_selection.h"

namespace newsclass {

CLI::Option* addChoiceOption(CLI::App& command, const std::string& name, std::string& value,
                             const std::string& description,
                             const std::vector<std::string>& choices) {
  return command.add_option(name, value, description)
      ->check(CLI::IsMember(choices))
      ->capture_default_str();
}

CLI::Option* addTableOption(CLI::App& command, std::string& table, const std::string& description) {
  return command.add_option("--table", table, description)->capture_default_str();
}

CLI::Option* addMeasureOption(CLI::App& command, std::string& measure) {
  return addChoiceOption(command, "--measure", measure, "Feature measure: " + featureMeasureList(),
                         featureMeasureNames());
}

CLI::Option* addFeatureCountOption(CLI::App& command, int32_t& count) {
  return command.add_option("--count", count, "Number of feature words requested; 0 selects every word of the dictionary")
      ->check(wholeNumber(0, INT32_MAX))
      ->capture_default_str();
}

CLI::Option* addNeighbourCountOption(CLI::App& command, int& k) {
  return command.add_option("--k", k, "Number of neighbours K")
      ->check(wholeNumber(INT32_MIN, INT32_MAX))
      ->capture_default_str();
}

CLI::Option* addTokenizerOption(CLI::App& command, std::string& tokenizer) {
  return addChoiceOption(command, "--tokenizer", tokenizer,
                         "segment: segment Chinese text, drop digits and stop words; "
                         "space: split text that is already segmented at spaces",
                         {"segment", "space"});
}

CLI::Option* addTermsOption(CLI::App& command, std::string& terms) {
  return addChoiceOption(command, "--terms", terms,
                         "What a text yields: words (the tokeniser's), chars (its characters and "
                         "pairs of adjacent characters, digits removed, pairs never across white "
                         "space or punctuation; marked with a leading \"|\") or words+chars",
                         {"words", "chars", "words+chars"});
}

TermKinds termKindsByName(const std::string& name) {
  return termKindsNamed(name).value_or(TermKinds::kWords);
}

CLI::Option* addReportFormatOption(CLI::App& command, std::string& format) {
  return addChoiceOption(command, "--format", format,
                         "Report format: text, csv, json or html (one self-contained UTF-8 page "
                         "with a heat map of the confusion matrix, an F1 chart and the "
                         "misclassified articles)",
                         {"text", "csv", "json", "html"});
}

CLI::Option* addWeightingOption(CLI::App& command, std::string& weighting) {
  return addChoiceOption(command, "--weighting", weighting,
                         "Keyword weights: spec ((tf / M + 0.5) x ln(N / df) over every keyword, "
                         "training articles counting presence) or tfidf ((1 + ln tf) x ln(N / df) "
                         "for the keywords an article holds, 0 elsewhere, training articles "
                         "counting occurrences); both of unit length",
                         {"spec", "tfidf"});
}

CLI::Option* addVectorFormatOption(CLI::App& command, std::string& format) {
  return addChoiceOption(command, "--vector-format", format,
                         "Form of trainingVSM.dat and testingVSM.dat: text (an id, a count and "
                         "six-digit weights) or binary (four bytes a weight, stored sparsely "
                         "where most are 0, checksummed; loads as the same numbers)",
                         {"text", "binary"});
}

Weighting weightingByName(const std::string& name) {
  return name == "tfidf" ? Weighting::kTfidf : Weighting::kSpec;
}

CLI::Option* addVoteOption(CLI::App& command, std::string& vote) {
  return addChoiceOption(command, "--vote", vote,
                         "How the K neighbours vote: count (one vote each) or similarity (each "
                         "adds its similarity to its category); ties go to the category listed "
                         "first",
                         {"count", "similarity"});
}

CLI::Option* addClassifierOption(CLI::App& command, std::string& classifier) {
  return addChoiceOption(command, "--classifier", classifier,
                         "knn: the K nearest training vectors vote; linear: one-vs-rest linear "
                         "SVMs (liblinear) trained on the tfidf weights of dict.dat and "
                         "keywords.dat, saved as linear.model; logistic: one-vs-rest logistic "
                         "regression, the same way, whose answers carry probabilities; for "
                         "linear and logistic every listed category needs a training article in "
                         "the range",
                         {"knn", "linear", "logistic"});
}

CLI::Option* addCostOption(CLI::App& command, double& cost) {
  return command.add_option("--c", cost, "The linear and logistic classifiers' cost C (larger: fit closer)")
      ->check(positiveDecimalNumber("expected a positive number"))
      ->capture_default_str();
}

CLI::Option* addKnnWeightOption(CLI::App& command, double& weight) {
  return command
      .add_option("--knn-weight", weight,
                  "linear: raise each category's decision value by this weight x its similarity "
                  "share among the --k nearest training articles (cosine of the tfidf vectors); "
                  "0, the default, leaves the SVMs alone. Helps news headlines (0.5 with --k "
                  "10), not long articles")
      ->check(nonNegativeDecimalNumber("expected 0 or a positive number"))
      ->capture_default_str();
}

CLI::Option* addClassWeightOption(CLI::App& command, std::string& classWeight) {
  return addChoiceOption(command, "--class-weight", classWeight,
                         "linear, logistic: none (every article weighs alike) or balanced (each "
                         "category's C scaled by n / (k x n_c): n training articles, k "
                         "categories, n_c of the category)",
                         {"none", "balanced"});
}

ModelDescription describeClassifier(const RunContext& context, const ClassifierChoices& choices) {
  ModelDescription description;
  description.classifier = choices.classifier;
  description.k = choices.k;
  description.similarityVote = choices.vote == "similarity";
  description.cost = choices.cost;
  description.balancedClassWeights = choices.classWeight == "balanced";
  description.knnWeight = choices.knnWeight;
  description.categories = context.categories;
  description.range = context.trainingRange();
  return description;
}

Tokenizer tokenizerByName(const std::string& name) {
  return name == "space" ? &splitBySpace : &tokenizeArticle;
}

}  // namespace newsclass
