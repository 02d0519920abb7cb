// The files a data folder owns: the ones newsclass writes there and reads back. An output path
// the user names (such as select-features --scores) must never be one of them, or a stage would
// overwrite the database or a file the later stages trust.
#ifndef NEWSCLASS_CLI_DATA_FOLDER_FILES_H_
#define NEWSCLASS_CLI_DATA_FOLDER_FILES_H_

#include <string>
#include <vector>

namespace newsclass {

// The names of the files newsclass keeps in a data folder (the database and its SQLite
// companions, every stage's file, model.json and the lock file).
const std::vector<std::string>& dataFolderFileNames();

// Throws UsageError "OPTION: PATH is the data folder's NAME; name another file" when `path` is
// a file the data folder `folder` owns (the same file, however it is spelt: through a symbolic
// or hard link, ".." or another spelling of the folder), or would be one once written; and
// "OPTION: PATH is the input file INPUT" when it is the same file as one of `inputs`.
void refuseDataFolderOutput(const std::string& option, const std::string& path,
                            const std::string& folder, const std::vector<std::string>& inputs);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_DATA_FOLDER_FILES_H_
