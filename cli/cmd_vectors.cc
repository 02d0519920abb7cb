// The default stage sequence and `newsclass build-vectors`: from the stored dictionary,
// contingency table and keywords to the training and testing vector files.
#include <memory>
#include <string>

#include "base/atomic_file.h"
#include "base/errors.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "segmentation/segmenter_binding.h"

namespace newsclass {

int runDefaultSequence(RunContext& context) {
  context.requireDataFolder();  // its inputs live there: never create it empty
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
  requireCurrentFiles(context, {"dict.dat", "contingency.dat", "keywords.dat"});
  // The testing articles are segmented as the dictionary's were.
  if (hasModelFacts(context)) useRecordedSegmenterFiles(context, readModelFacts(context));

  CorpusProcessor processor = context.processor();
  // Vectors of no position would be written and classified without a word of error.
  if (processor.readKeywords(keywordPath).empty()) {
    throw DataFileError(keywordPath + ": holds no keywords (run select-features first)");
  }

  Dictionary dictionary;
  ContingencyTable contingencyTable;
  VsmModel trainingModel;
  VsmModel testingModel;
  // The testing half segments text: a lexicon the segmenter cannot start with must stop the run
  // before any work.
  checkSegmenterLexicon(processor.environment());
  // A file that does not load whole is refused by its loader, before any vector is built.
  processor.loadDictionary(dictionary, dictionaryPath);
  processor.loadContingencyTable(contingencyTable, contingencyPath);
  // The two vector files are replaced together: each model is written to its temporary file as
  // soon as it is built (so the stage lines keep their order), and both are renamed only when
  // the testing half, which reads the database, has succeeded as well.
  AtomicFileGroup files;
  processor.buildTrainingVsm(dictionary, trainingModel, keywordPath);
  processor.saveVsm(trainingModel, trainingPath, files);
  processor.buildTestingVsm(context.testFirst, context.testLast, "TestingCorpus", dictionary,
                            testingModel, keywordPath);
  processor.saveVsm(testingModel, testingPath, files);
  files.commit();
  context.recordFacts(ProvenanceStage::kVectors,
                      {{"weighting", context.environment().weighting == Weighting::kTfidf ? "tfidf" : "spec"},
                       {"test_range", context.testRangeText()}},
                      {"trainingVSM.dat", "testingVSM.dat"});
  return 0;
}

void addBuildVectorsCommand(CLI::App& app, CommandSet& commands) {
  auto weighting = std::make_shared<std::string>("spec");
  CLI::App* command = app.add_subcommand(
      "build-vectors",
      "Build the TF-IDF vector models: load dict.dat and contingency.dat from the data folder,\n"
      "weight the keywords of keywords.dat for every training id (--train-range), segment the\n"
      "TestingCorpus articles of --test-range, then save trainingVSM.dat and testingVSM.dat\n"
      "together (neither changes when anything fails). The default run without a command does\n"
      "the same and then waits.");
  addWeightingOption(*command, *weighting);
  commands.add(command, [weighting](RunContext& context) {
    context.environment().weighting = weightingByName(*weighting);
    return runDefaultSequence(context);
  });
}

}  // namespace newsclass
