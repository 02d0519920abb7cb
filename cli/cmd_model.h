// The data folder's model as the commands that read its files see it: model.json read with every
// value checked as strictly as the option that sets it, the files a command reads checked
// against the digests model.json records for them, and the segmenter's files the folder was
// built with.
#ifndef NEWSCLASS_CLI_CMD_MODEL_H_
#define NEWSCLASS_CLI_CMD_MODEL_H_

#include <string>
#include <vector>

#include "cli/cmd_cli.h"
#include "cli/provenance.h"
#include "models/model_description.h"

namespace newsclass {

// Whether the data folder has a model.json at all (a folder made before it existed has none).
bool hasModelFacts(const RunContext& context);

// The paths of the data folder's files a model is loaded from.
ModelFiles dataFolderModelFiles(const RunContext& context);

// The facts of `path`, every key known and every value as the stages write it; DataFileError
// "<path>: "<key>" is "<value>", expected ..." otherwise. Empty when the file does not exist.
Provenance readCheckedFacts(const std::string& path);
Provenance readModelFacts(const RunContext& context);

// Checks the data files `fileNames` (e.g. "dict.dat"), which the command is about to read,
// against model.json: each must be readable and unchanged since it was recorded, and so must
// every recorded file of the same or an earlier stage that is still there (a changed dictionary
// makes the vectors built from it stale). A file without a record is stale when model.json
// records an import or a file of an earlier stage (it was rebuilt after this file); otherwise
// the file was made by hand or by an older newsclass and is taken as it is. Throws
// DataFileError "<path>: stale: <why> (model.json); run <stage>" naming the earliest stale
// file. A folder without model.json is not checked.
void requireCurrentFiles(const RunContext& context, const std::vector<std::string>& fileNames);

// The names of data files (as requireCurrentFiles takes them) given by their paths in the data
// folder: "data/dict.dat" gives "dict.dat".
std::vector<std::string> dataFileNames(const std::vector<std::string>& paths);

// A request that contradicts how the folder's files were built is refused: UsageError
// "<option>: the model in this data folder was built with <option> <recorded> (<factsPath>),
// not <asked>". Nothing is refused when `asked` is empty or nothing is recorded.
void refuseMismatch(const std::string& option, const std::string& asked, const std::string& key,
                    const Provenance& facts, const std::string& factsPath);

// Points the context's environment at the stop words, user dictionary and lexicon the folder
// was built with, as model.json records them, and takes the terms it records, so that new text
// is cut into terms as the model's was.
// A --stopwords, --user-dict or --lexicon whose content differs from the recorded file is a
// UsageError; a recorded file that is gone or changed is a DataFileError naming it. Nothing
// changes when model.json records none.
void cutTextAsRecorded(RunContext& context, const Provenance& facts);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_CMD_MODEL_H_
