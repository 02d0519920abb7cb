// Options that several commands share, each defined once: its name, help text, check and shown
// default. A command adds one to its subcommand and keeps the value in its own options struct.
#ifndef NEWSCLASS_CLI_CMD_OPTIONS_H_
#define NEWSCLASS_CLI_CMD_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "cli/cmd_cli.h"
#include "models/model_description.h"
#include "segmentation/term_kinds.h"

namespace newsclass {

// An option whose value must be one of `choices` ("--format: x not in {text,csv}" otherwise),
// its default shown in the help.
CLI::Option* addChoiceOption(CLI::App& command, const std::string& name, std::string& value,
                             const std::string& description,
                             const std::vector<std::string>& choices);

// --table: the corpus table a command reads, shown with its default; `description` says what
// the command reads there.
CLI::Option* addTableOption(CLI::App& command, std::string& table, const std::string& description);

// --measure: one of the feature measure names (features/measure_selection.h).
CLI::Option* addMeasureOption(CLI::App& command, std::string& measure);
// --count: the number of feature words requested, a whole number from 0 to 2147483647.
CLI::Option* addFeatureCountOption(CLI::App& command, int32_t& count);
// --k: the number of neighbours; any 32-bit whole number passes the option's check, so that the
// command can name the range K must lie in.
CLI::Option* addNeighbourCountOption(CLI::App& command, int& k);
// --tokenizer: segment or space; tokenizerByName turns the value into the tokeniser.
CLI::Option* addTokenizerOption(CLI::App& command, std::string& tokenizer);
// --terms: words (the default), chars or words+chars; termKindsByName turns the value into the
// kinds.
CLI::Option* addTermsOption(CLI::App& command, std::string& terms);
TermKinds termKindsByName(const std::string& name);
// --format: the report format, text, csv or json.
CLI::Option* addReportFormatOption(CLI::App& command, std::string& format);

// --weighting: spec (the default weighting: (tf / M + 0.5) x idf over every keyword) or tfidf
// ((1 + ln tf) x idf for the keywords an article holds, 0 elsewhere).
CLI::Option* addWeightingOption(CLI::App& command, std::string& weighting);
Weighting weightingByName(const std::string& name);
// --vector-format text|binary: the form the vector files are written in.
CLI::Option* addVectorFormatOption(CLI::App& command, std::string& format);
// --vote: count (one vote per neighbour) or similarity (each neighbour adds its similarity).
CLI::Option* addVoteOption(CLI::App& command, std::string& vote);

// --classifier: knn (the default), linear or logistic; --c: the linear classifiers' cost, a
// positive number.
CLI::Option* addClassifierOption(CLI::App& command, std::string& classifier);
CLI::Option* addCostOption(CLI::App& command, double& cost);
// --knn-weight: the linear SVMs' neighbour blend, 0 (the default: none) or a positive number.
CLI::Option* addKnnWeightOption(CLI::App& command, double& weight);
// --class-weight: none (the default) or balanced.
CLI::Option* addClassWeightOption(CLI::App& command, std::string& classWeight);

// The choices of a classifier that classify and pipeline both take, as their options set them.
struct ClassifierChoices {
  int k = 10;
  std::string vote = "count";
  std::string classifier = "knn";
  double cost = 1.0;
  std::string classWeight = "none";
  double knnWeight = 0.0;
};
// The classifier the choices ask for over the context's training range and categories (the
// caller adds the files and the terms).
ModelDescription describeClassifier(const RunContext& context, const ClassifierChoices& choices);

// The tokeniser a --tokenizer value names: splitBySpace for "space", else tokenizeArticle.
Tokenizer tokenizerByName(const std::string& name);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_CMD_OPTIONS_H_
