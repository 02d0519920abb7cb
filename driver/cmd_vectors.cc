// The default stage sequence and `newsclass build-vectors`: from the stored dictionary,
// contingency table and keywords to the training and testing vector files.
#include <functional>
#include <sstream>
#include <string>

#include "driver/atomic_file.h"
#include "driver/commands.h"
#include "driver/errors.h"
#include "segmentation/segmenter_binding.h"

namespace newsclass {
namespace {

// Runs `load` with the processor's warnings held back. The warnings are passed on either way;
// when there were any, the file could not be read completely and vectors built from it would
// silently lack words, so the run ends with an error naming the file.
void loadCompletely(RunContext& context, const std::string& path,
                    const std::function<void()>& load) {
  Environment& environment = context.environment();
  std::ostream* warnings = environment.warnings;
  std::ostringstream held;
  environment.warnings = &held;
  try {
    load();
  } catch (...) {
    environment.warnings = warnings;
    *warnings << held.str();
    throw;
  }
  environment.warnings = warnings;
  if (!held.str().empty()) {
    *warnings << held.str();
    throw DataFileError(path + ": could not be loaded completely; no vector file written");
  }
}

}  // namespace

int runDefaultSequence(RunContext& context) {
  DataFolderLock lock = context.lockDataFolder(DataFolderAccess::kWrite);
  const std::string dictionaryPath = context.dataPath("dict.dat");
  const std::string contingencyPath = context.dataPath("contingency.dat");
  const std::string keywordPath = context.dataPath("keywords.dat");
  const std::string trainingPath = context.dataPath("trainingVSM.dat");
  const std::string testingPath = context.dataPath("testingVSM.dat");
  // A missing input would give vectors that look right and are not (zero vectors without the
  // dictionary), so every input is checked before anything is built.
  for (const std::string* path : {&dictionaryPath, &contingencyPath, &keywordPath}) {
    context.requireReadableFile(*path);
  }

  Dictionary dictionary;
  ContingencyTable contingencyTable;
  VsmModel trainingModel;
  VsmModel testingModel;
  CorpusProcessor processor = context.processor();
  // The testing half segments text: a lexicon the segmenter cannot start with must stop the run
  // before any work.
  checkSegmenterLexicon(processor);
  loadCompletely(context, dictionaryPath,
                 [&] { processor.loadDictionary(dictionary, dictionaryPath); });
  loadCompletely(context, contingencyPath,
                 [&] { processor.loadContingencyTable(contingencyTable, contingencyPath); });
  // The two vector files are replaced together: each model is written to its temporary file as
  // soon as it is built (so the stage lines keep their order), and both are renamed only when
  // the testing half, which reads the database, has succeeded as well.
  AtomicFileGroup files;
  processor.buildTrainingVsm(dictionary, trainingModel, keywordPath);
  processor.saveVsm(trainingModel, files.stage(trainingPath));
  processor.buildTestingVsm(context.testFirst, context.testLast, "TestingCorpus", dictionary,
                            testingModel, keywordPath);
  processor.saveVsm(testingModel, files.stage(testingPath));
  files.commit();
  return 0;
}

void addBuildVectorsCommand(CLI::App& app, CommandSet& commands) {
  CLI::App* command = app.add_subcommand(
      "build-vectors",
      "Build the TF-IDF vector models: load dict.dat and contingency.dat from the data folder,\n"
      "weight the keywords of keywords.dat for every training id (--train-range), segment the\n"
      "TestingCorpus articles of --test-range, then save trainingVSM.dat and testingVSM.dat\n"
      "together (neither changes when anything fails). The default run without a command does\n"
      "the same and then waits.");
  commands.add(command, [](RunContext& context) { return runDefaultSequence(context); });
}

}  // namespace newsclass
