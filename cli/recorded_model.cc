#include "cli/recorded_model.h"

#include <string>
#include <utility>

#include "base/errors.h"
#include "base/text_utils.h"
#include "cli/cmd_model.h"
#include "cli/data_folder_files.h"
#include "cli/provenance.h"
#include "cli/cmd_options.h"
#include "models/model_factory.h"

namespace newsclass {
namespace {

// What the data folder's model.json records for `key`, or `fallback` when it records nothing.
std::string recorded(const Provenance& facts, const std::string& key, const std::string& fallback) {
  auto found = facts.find(key);
  return found == facts.end() ? fallback : found->second;
}

// Refuses the choices the folder's classifier, named `name`, does not take: K, the vote and
// the neighbours belong to a classifier that answers by neighbours, and one that weighs text
// its own way takes no other weighting.
void refuseChoicesItLacks(const Classifier& classifier, const std::string& name,
                          const ModelChoices& choices) {
  if (choices.explain && classifier.answersByNeighbours()) {
    throw UsageError("--explain: the " + name +
                     " classifier answers by its neighbours (list them with --neighbours)");
  }
  if (!classifier.answersByNeighbours() &&
      (choices.k != 0 || !choices.vote.empty() || choices.neighbours)) {
    throw UsageError(std::string(choices.k != 0 ? "--k" : !choices.vote.empty() ? "--vote" : "--neighbours") +
                     ": the " + name + " classifier has no neighbours");
  }
  const std::string own = classifier.ownWeighting();
  if (!own.empty() && !choices.weighting.empty() && choices.weighting != own) {
    throw UsageError("--weighting: the " + name + " classifier weighs text with " + own);
  }
}

}  // namespace

ModelDescription recordedModel(RunContext& context, const ModelChoices& choices,
                               ModelFiles files) {
  // The facts of the folder decide what the command line leaves open; a contradiction is an
  // error. The training range gives N, so a --train-range other than the default must match.
  const std::string factsPath = context.dataPath(kModelFactsFile);
  if (!hasModelFacts(context)) {
    throw DataFileError(factsPath + ": no such file: the data folder holds no model (run "
                        "pipeline, or the stages, first)");
  }
  const Provenance facts = readModelFacts(context);
  const GlobalOptions defaults;
  if (context.options().trainRange != defaults.trainRange) {
    refuseMismatch("--train-range", context.trainRangeText(), "train_range", facts, factsPath);
  }
  if (context.options().categories != defaults.categories) {
    refuseMismatch("--categories", context.categoriesText(), "categories", facts, factsPath);
  }
  refuseMismatch("--weighting", choices.weighting, "weighting", facts, factsPath);
  // The folder holds the model its last classify built, and only that one.
  refuseMismatch("--classifier", choices.classifier, "classifier", facts, factsPath);
  ModelDescription description;
  description.classifier =
      !choices.classifier.empty() ? choices.classifier : recorded(facts, "classifier", "knn");
  const Classifier& classifier = classifierNamed(description.classifier);
  refuseChoicesItLacks(classifier, description.classifier, choices);
  description.range = {context.trainFirst, context.trainLast};
  // Checked as model.json was read.
  parseIdRange(recorded(facts, "train_range", context.trainRangeText()), description.range.firstId,
               description.range.lastId);
  description.categories = context.categories;
  if (facts.count("categories") != 0 && context.options().categories == defaults.categories) {
    description.categories = recordedCategories(facts);
  }
  requireCurrentFiles(context, dataFileNames(classifier.modelFiles(files)));
  cutTextAsRecorded(context, facts);
  description.terms = context.environment().terms;
  const std::string own = classifier.ownWeighting();
  description.weighting =
      weightingByName(!own.empty() ? own : recorded(facts, "weighting", "spec"));
  // A recorded K was checked as model.json was read: a whole number from 1 to 2147483647.
  description.k = choices.k != 0 ? choices.k : parseInt32(recorded(facts, "k", "10")).value_or(10);
  // The linear SVMs' neighbour blend, checked as model.json was read: a positive decimal.
  description.knnWeight = parseDouble(recorded(facts, "knn_weight", "0")).value_or(0.0);
  description.similarityVote =
      (!choices.vote.empty() ? choices.vote : recorded(facts, "vote", "count")) == "similarity";
  description.files = std::move(files);
  return description;
}

}  // namespace newsclass
