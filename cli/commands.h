// The commands of newsclass, one registration function each (cli/cmd_*.cc).
#ifndef NEWSCLASS_CLI_COMMANDS_H_
#define NEWSCLASS_CLI_COMMANDS_H_

#include "cli/cmd_cli.h"

namespace newsclass {

void addImportCommand(CLI::App& app, CommandSet& commands);           // cmd_import.cc
void addShowCommand(CLI::App& app, CommandSet& commands);             // cmd_show.cc
void addSegmentCommand(CLI::App& app, CommandSet& commands);          // cmd_segment.cc
void addBuildDictionaryCommand(CLI::App& app, CommandSet& commands);  // cmd_dictionary.cc
void addPrintDictionaryCommand(CLI::App& app, CommandSet& commands);  // cmd_dictionary.cc
void addBuildContingencyCommand(CLI::App& app, CommandSet& commands); // cmd_features.cc
void addSelectFeaturesCommand(CLI::App& app, CommandSet& commands);   // cmd_features.cc
void addBuildVectorsCommand(CLI::App& app, CommandSet& commands);     // cmd_vectors.cc
void addClassifyCommand(CLI::App& app, CommandSet& commands);         // cmd_classify.cc
void addEvaluateCommand(CLI::App& app, CommandSet& commands);         // cmd_evaluate.cc
void addPipelineCommand(CLI::App& app, CommandSet& commands);         // cmd_pipeline.cc
void addPredictCommand(CLI::App& app, CommandSet& commands);          // cmd_predict.cc

// The default stage sequence, holding the data folder's write lock: load dict.dat and
// contingency.dat, build the training and the testing vectors, then replace both vector files
// together. A missing, unreadable or partly loaded input is a DataFileError naming it, and a
// failure anywhere leaves both vector files as they were. Returns the exit code (cmd_vectors.cc).
int runDefaultSequence(RunContext& context);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_COMMANDS_H_
