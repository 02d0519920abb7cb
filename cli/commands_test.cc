#include "cli/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// The data folder access each command needs: the writers hold the exclusive lock, and those
// whose inputs live in the folder never create it; the readers hold the shared lock; import
// writes the folder only through its own corpus.db.
TEST(CommandSetTest, EveryCommandIsRegisteredOnceWithTheFolderAccessItNeeds) {
  CLI::App app;
  CommandSet commands;
  addEveryCommand(app, commands);
  const std::map<std::string, FolderUse> expected = {
      {"import", FolderUse::kWriteOwnDatabase},
      {"show", FolderUse::kNone},
      {"segment", FolderUse::kNone},
      {"build-dictionary", FolderUse::kWrite},
      {"print-dictionary", FolderUse::kRead},
      {"build-contingency", FolderUse::kWriteInputs},
      {"select-features", FolderUse::kWriteInputs},
      {"build-vectors", FolderUse::kWriteInputs},
      {"classify", FolderUse::kWriteInputs},
      {"evaluate", FolderUse::kRead},
      {"pipeline", FolderUse::kWrite},
      {"predict", FolderUse::kRead},
      {"serve", FolderUse::kRead},
      {"tune", FolderUse::kRead}};
  std::map<std::string, FolderUse> registered;
  for (const CommandSet::Entry& entry : commands.entries()) {
    EXPECT_TRUE(registered.emplace(entry.command->get_name(), entry.folderUse).second)
        << entry.command->get_name() << " is registered twice";
    EXPECT_TRUE(entry.run) << entry.command->get_name() << " has nothing to run";
  }
  EXPECT_EQ(registered, expected);
  // A subcommand outside the set would parse and then run the default sequence instead.
  const std::vector<CLI::App*> subcommands = app.get_subcommands({});
  ASSERT_EQ(subcommands.size(), commands.entries().size());
  for (size_t i = 0; i < subcommands.size(); ++i) {
    EXPECT_EQ(subcommands[i], commands.entries()[i].command) << i;
  }
}

// A command's options value is the one its run gets, parsed; a run may take the held folder.
TEST(CommandSetTest, ARunGetsItsParsedOptionsAndTheFolder) {
  struct Options {
    std::string name = "default";
  };
  CLI::App app;
  CommandSet commands;
  std::string seen;
  auto [command, options] = commands.add<Options>(
      app, "greet", "Says hello.", FolderUse::kRead,
      [&seen](RunContext&, const Options& parsed, DataFolderLock& folder) {
        seen = parsed.name + (folder.held() ? " held" : " free");
        return 7;
      });
  command.add_option("--name", options.name);
  EXPECT_EQ(command.get_description(), "Says hello.");
  const char* argv[] = {"newsclass", "greet", "--name", "x"};
  app.parse(4, argv);
  const CommandSet::Entry* entry = commands.parsedEntry();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->folderUse, FolderUse::kRead);
  testing::TempDir dir;
  GlobalOptions global;
  global.dataDir = dir.path();
  std::istringstream in;
  std::ostringstream out, err;
  RunContext context(global, in, out, err);
  DataFolderLock folder = holdDataFolder(context, entry->folderUse);
  EXPECT_EQ(entry->run(context, folder), 7);
  EXPECT_EQ(seen, "x held");
}

class HoldDataFolderTest : public ::testing::Test {
 protected:
  // A context whose data folder is `folder`, with the database `db` (empty: the folder's own).
  std::unique_ptr<RunContext> contextFor(const std::string& folder, const std::string& db = "") {
    GlobalOptions options;
    options.dataDir = folder;
    options.db = db;
    return std::make_unique<RunContext>(options, in, out, err);
  }

  testing::TempDir dir;
  std::istringstream in;
  std::ostringstream out, err;
};

TEST_F(HoldDataFolderTest, OnlyPlainWritersCreateAMissingFolder) {
  const std::string missing = dir.file("missing");
  for (FolderUse use : {FolderUse::kNone, FolderUse::kRead}) {
    EXPECT_FALSE(holdDataFolder(*contextFor(missing), use).held());
    EXPECT_FALSE(std::filesystem::exists(missing));
  }
  try {
    holdDataFolder(*contextFor(missing), FolderUse::kWriteInputs);
    ADD_FAILURE() << "a missing folder was taken";
  } catch (const DataFileError& e) {
    EXPECT_STREQ(e.what(), (missing + ": no such folder (--data-dir)").c_str());
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_TRUE(holdDataFolder(*contextFor(missing), FolderUse::kWrite).held());
  EXPECT_TRUE(std::filesystem::is_regular_file(missing + "/newsclass.lock"));
  EXPECT_EQ(err.str(), "");
}

TEST_F(HoldDataFolderTest, AWriterTakesTheFolderExclusively) {
  for (FolderUse use : {FolderUse::kWrite, FolderUse::kWriteInputs, FolderUse::kWriteOwnDatabase}) {
    DataFolderLock folder = holdDataFolder(*contextFor(dir.path()), use);
    EXPECT_TRUE(folder.held());
    EXPECT_FALSE(DataFolderLock::tryAcquire(dir.path(), DataFolderAccess::kRead).has_value());
  }
  DataFolderLock reader = holdDataFolder(*contextFor(dir.path()), FolderUse::kRead);
  EXPECT_TRUE(reader.held());
  EXPECT_TRUE(DataFolderLock::tryAcquire(dir.path(), DataFolderAccess::kRead).has_value());
  EXPECT_FALSE(DataFolderLock::tryAcquire(dir.path(), DataFolderAccess::kWrite).has_value());
}

// An import into a database named by --db does not write the folder, so it holds nothing.
TEST_F(HoldDataFolderTest, AnImportIntoAnotherDatabaseLeavesTheFolderFree) {
  const std::string missing = dir.file("missing");
  EXPECT_FALSE(
      holdDataFolder(*contextFor(missing, "Driver=SQLite3;Database=x.db"), FolderUse::kWriteOwnDatabase)
          .held());
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_TRUE(holdDataFolder(*contextFor(missing), FolderUse::kWriteOwnDatabase).held());
}

}  // namespace
}  // namespace newsclass
