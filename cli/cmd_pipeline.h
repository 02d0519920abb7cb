// The pipeline's stages as other commands run them: tune --apply builds a data folder with the
// setting it picked exactly as pipeline would with the same options.
#ifndef NEWSCLASS_CLI_CMD_PIPELINE_H_
#define NEWSCLASS_CLI_CMD_PIPELINE_H_

#include <string>

#include "cli/cmd_cli.h"
#include "cli/cmd_options.h"
#include "cli/provenance.h"
#include "evaluation/evaluation_report.h"

namespace newsclass {

// pipeline's options, defaults as its command line has them.
struct PipelineOptions : ClassifierChoices {
  std::string measure = "chi";
  int32_t count = 1000;
  std::string tokenizer = "segment";
  std::string terms = "words";
  std::string format = "text";
  std::string weighting = "spec";
  std::string vectorFormat = "text";
  // Facts the classifier stage records in model.json beside its own (tune's grid and scores):
  // they describe the model, so they go when it is trained again.
  Provenance classifierNotes;
};

// Checks the request against the ranges and the database, then runs every stage from the
// dictionary to predictions.dat with `options`, each stage's lines and its summary on the
// environment's console (standard error when `stageLinesToErrors`); returns the predictions.
// The caller holds the data folder for writing.
ClassificationResults runPipelineStages(RunContext& context, const PipelineOptions& options,
                                        bool stageLinesToErrors);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_CMD_PIPELINE_H_
