// The default stage sequence and `newsclass build-vectors`: from the stored dictionary,
// contingency table and keywords to the training and testing vector files.
#include <string>

#include "driver/commands.h"
#include "segmentation/segmenter_binding.h"

namespace newsclass {

int runDefaultSequence(RunContext& context, bool requireInputs) {
  const std::string dictionaryPath = context.dataPath("dict.dat");
  const std::string contingencyPath = context.dataPath("contingency.dat");
  const std::string keywordPath = context.dataPath("keywords.dat");
  const std::string trainingPath = context.dataPath("trainingVSM.dat");
  const std::string testingPath = context.dataPath("testingVSM.dat");
  if (requireInputs) {
    for (const std::string* path : {&dictionaryPath, &contingencyPath, &keywordPath}) {
      context.requireReadableFile(*path);
    }
  }
  // Without requireInputs a missing dict.dat or contingency.dat loads nothing and the run goes
  // on; a missing keywords.dat still ends the run with an error naming it, because no vector
  // layout can be made without the keyword list.

  Dictionary dictionary;
  ContingencyTable contingencyTable;
  VsmModel trainingModel;
  VsmModel testingModel;
  CorpusProcessor processor = context.processor();
  // The testing vectors are segmented after trainingVSM.dat is saved: a lexicon the segmenter
  // cannot start with must stop the run before that file is replaced.
  checkSegmenterLexicon(processor);
  processor.loadDictionary(dictionary, dictionaryPath);
  processor.loadContingencyTable(contingencyTable, contingencyPath);
  processor.buildTrainingVsm(dictionary, trainingModel, keywordPath);
  processor.saveVsm(trainingModel, trainingPath);
  processor.buildTestingVsm(context.testFirst, context.testLast, "TestingCorpus", dictionary,
                            testingModel, keywordPath);
  processor.saveVsm(testingModel, testingPath);
  return 0;
}

void addBuildVectorsCommand(CLI::App& app, CommandSet& commands) {
  CLI::App* command = app.add_subcommand(
      "build-vectors",
      "Build the TF-IDF vector models: load dict.dat and contingency.dat from the data folder,\n"
      "weight the keywords of keywords.dat for every training id (--train-range) and save\n"
      "trainingVSM.dat, then segment the TestingCorpus articles of --test-range and save\n"
      "testingVSM.dat. The default run without a command does the same and then waits.");
  commands.add(command, [](RunContext& context) { return runDefaultSequence(context, true); });
}

}  // namespace newsclass
