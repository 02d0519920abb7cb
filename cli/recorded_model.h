// The model a data folder holds, as its model.json describes it, for the commands that answer
// new text with it (predict, serve): the recorded facts, with what the command line may still
// choose.
#ifndef NEWSCLASS_CLI_RECORDED_MODEL_H_
#define NEWSCLASS_CLI_RECORDED_MODEL_H_

#include <string>

#include "cli/cmd_cli.h"
#include "models/model_description.h"

namespace newsclass {

// What a command line asks of the folder's model beyond its facts.
struct ModelChoices {
  int k = 0;               // 0: as model.json records, else 10
  std::string vote;        // empty: as model.json records, else count
  std::string weighting;   // empty: as model.json records, else spec
  std::string classifier;  // empty: as model.json records, else knn
  bool neighbours = false;  // the answers list the neighbours (a KNN only)
  bool explain = false;     // the answers list the terms that weighed most (linear models only)
};

// The model the data folder holds, as its model.json describes it, with what `choices` may
// still choose (K, the vote); a choice that contradicts the facts, or one the classifier does
// not take, is a UsageError. A folder without model.json is a DataFileError. Checks the files
// the model reads against model.json and points the context's segmenter files and terms at
// those the folder was built with.
ModelDescription recordedModel(RunContext& context, const ModelChoices& choices,
                               ModelFiles files);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_RECORDED_MODEL_H_
