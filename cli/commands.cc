#include "cli/commands.h"

#include <utility>

namespace newsclass {

DataFolderLock holdDataFolder(RunContext& context, FolderUse use) {
  switch (use) {
    case FolderUse::kNone:
      break;
    case FolderUse::kRead:
      return context.lockDataFolder(DataFolderAccess::kRead);
    case FolderUse::kWrite:
      return context.lockDataFolder(DataFolderAccess::kWrite);
    case FolderUse::kWriteInputs:
      context.requireDataFolder();
      return context.lockDataFolder(DataFolderAccess::kWrite);
    case FolderUse::kWriteOwnDatabase:
      // Only the default database lives in the data folder.
      if (context.options().db.empty()) return context.lockDataFolder(DataFolderAccess::kWrite);
      break;
  }
  return DataFolderLock();
}

CLI::App& CommandSet::add(CLI::App& app, const std::string& name, const std::string& help,
                          FolderUse use, std::function<int(RunContext& context)> run) {
  return addEntry(app, name, help, use,
                  [run = std::move(run)](RunContext& context, DataFolderLock&) { return run(context); });
}

CLI::App& CommandSet::addEntry(CLI::App& app, const std::string& name, const std::string& help,
                               FolderUse use, CommandRun run) {
  CLI::App* command = app.add_subcommand(name, help);
  entries_.push_back({command, use, std::move(run), {}});
  return *command;
}

void CommandSet::chooseFolderUse(const CLI::App& command, std::function<FolderUse()> choose) {
  for (Entry& entry : entries_) {
    if (entry.command == &command) entry.chooseFolderUse = std::move(choose);
  }
}

const CommandSet::Entry* CommandSet::parsedEntry() const {
  for (const Entry& entry : entries_) {
    if (entry.command->parsed()) return &entry;
  }
  return nullptr;
}

void addEveryCommand(CLI::App& app, CommandSet& commands) {
  for (AddCommandFunction* add :
       {addImportCommand, addShowCommand, addSegmentCommand, addBuildDictionaryCommand,
        addPrintDictionaryCommand, addBuildContingencyCommand, addSelectFeaturesCommand,
        addBuildVectorsCommand, addClassifyCommand, addEvaluateCommand, addPipelineCommand,
        addPredictCommand, addServeCommand, addTuneCommand}) {
    add(app, commands);
  }
}

}  // namespace newsclass
