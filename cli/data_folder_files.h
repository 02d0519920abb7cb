// The files a data folder owns, named once: the ones newsclass writes there and reads back. Every
// command joins these names to --data-dir (RunContext::dataPath). An output path the user names
// (such as select-features --scores) must never be one of them, or a stage would overwrite the
// database or a file the later stages trust.
#ifndef NEWSCLASS_CLI_DATA_FOLDER_FILES_H_
#define NEWSCLASS_CLI_DATA_FOLDER_FILES_H_

#include <string>
#include <vector>

namespace newsclass {

inline constexpr const char* kCorpusDatabaseFile = "corpus.db";         // the default database
inline constexpr const char* kDictionaryFile = "dict.dat";              // build-dictionary
inline constexpr const char* kContingencyFile = "contingency.dat";      // build-contingency
inline constexpr const char* kKeywordsFile = "keywords.dat";            // select-features
inline constexpr const char* kTrainingVectorsFile = "trainingVSM.dat";  // build-vectors
inline constexpr const char* kTestingVectorsFile = "testingVSM.dat";    // build-vectors
inline constexpr const char* kLinearModelFile = "linear.model";         // classify (linear)
inline constexpr const char* kPredictionsFile = "predictions.dat";      // classify
inline constexpr const char* kModelFactsFile = "model.json";            // how the files were built
inline constexpr const char* kDataFolderLockName = "newsclass.lock";    // cli/data_folder_lock.h

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
