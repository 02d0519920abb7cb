// The commands of newsclass and how they are registered. Each cmd_*.cc file adds its commands to
// a CommandSet: the name, the help text, the options and the way the command holds the data
// folder. The dispatcher (cli/cmd_cli.cc) takes the folder as the command declared before the
// command runs and releases it when the command returns, so no command locks the folder itself.
#ifndef NEWSCLASS_CLI_COMMANDS_H_
#define NEWSCLASS_CLI_COMMANDS_H_

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/cmd_cli.h"

namespace newsclass {

// How a command holds the data folder while it runs (cli/data_folder_lock.h).
enum class FolderUse {
  kNone,   // no lock: the command reads and writes no data file
  kRead,   // the shared lock: it reads data files only; a missing folder is not created
  kWrite,  // the exclusive lock: it writes data files; a missing folder is created
  // The exclusive lock on a folder that must exist: the command's inputs live there, so a
  // missing folder is refused (RunContext::requireDataFolder), never created empty.
  kWriteInputs,
  // The exclusive lock when the corpus database is the folder's own (no --db), else none.
  kWriteOwnDatabase,
};

// Takes the data folder of `context` as `use` says, for as long as the caller keeps the result.
// Throws DataFileError as RunContext::requireDataFolder and RunContext::lockDataFolder do.
DataFolderLock holdDataFolder(RunContext& context, FolderUse use);

// A command's function: runs it once its options are parsed, with the data folder held as the
// command declared; returns the exit code. A command that is done with the folder's files before
// it ends (predict on a pipe) may release `folder` early.
using CommandRun = std::function<int(RunContext& context, DataFolderLock& folder)>;

// The subcommand a command was added as, and the value its options are parsed into.
template <typename Options>
struct AddedCommand {
  CLI::App& command;
  Options& options;
};

// The registered commands, in the order they were added (the order of the help).
class CommandSet {
 public:
  struct Entry {
    CLI::App* command;
    FolderUse folderUse;  // as the command declared it
    CommandRun run;
    // When set, decides the folder use once the options are parsed (tune writes the folder only
    // with --apply).
    std::function<FolderUse()> chooseFolderUse;
    FolderUse use() const { return chooseFolderUse ? chooseFolderUse() : folderUse; }
  };

  // Adds subcommand `name` with the help text `help` to `app`; once parsed, it runs `run` with
  // the data folder held as `use` says.
  CLI::App& add(CLI::App& app, const std::string& name, const std::string& help, FolderUse use,
                std::function<int(RunContext& context)> run);

  // The same for a command with options: an Options value, default-constructed, lives as long
  // as the set; the caller binds the subcommand's options to it, and `run` is called as
  // run(context, options) or, to release the folder early, run(context, options, folder).
  template <typename Options, typename Run>
  AddedCommand<Options> add(CLI::App& app, const std::string& name, const std::string& help,
                            FolderUse use, Run run) {
    auto options = std::make_shared<Options>();
    CLI::App& command = addEntry(
        app, name, help, use, [options, run](RunContext& context, DataFolderLock& folder) {
          if constexpr (std::is_invocable_v<Run, RunContext&, const Options&, DataFolderLock&>) {
            return run(context, *options, folder);
          } else {
            return run(context, *options);
          }
        });
    return {command, *options};
  }

  // Lets `choose` decide how `command` holds the folder, from its parsed options.
  void chooseFolderUse(const CLI::App& command, std::function<FolderUse()> choose);

  const std::vector<Entry>& entries() const { return entries_; }
  // The entry of the command the arguments named, or null when they named none.
  const Entry* parsedEntry() const;

 private:
  CLI::App& addEntry(CLI::App& app, const std::string& name, const std::string& help,
                     FolderUse use, CommandRun run);

  std::vector<Entry> entries_;
};

// Adds every command of newsclass to `app` and `commands`, in the order the help lists them.
void addEveryCommand(CLI::App& app, CommandSet& commands);

// The function of each command file that adds its commands (cmd_import.cc, cmd_show.cc, ...).
using AddCommandFunction = void(CLI::App& app, CommandSet& commands);
AddCommandFunction addImportCommand, addShowCommand, addSegmentCommand, addBuildDictionaryCommand,
    addPrintDictionaryCommand, addBuildContingencyCommand, addSelectFeaturesCommand,
    addBuildVectorsCommand, addClassifyCommand, addEvaluateCommand, addPipelineCommand,
    addPredictCommand, addServeCommand, addTuneCommand;

// The default stage sequence, run while the caller holds the data folder as kWriteInputs: load
// dict.dat and contingency.dat, build the training and the testing vectors, then replace both
// vector files together. A missing, unreadable or partly loaded input is a DataFileError naming
// it, and a failure anywhere leaves both vector files as they were. Returns the exit code
// (cmd_vectors.cc).
int runDefaultSequence(RunContext& context);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_COMMANDS_H_
