// The default stage sequence and `newsclass build-vectors`: from the stored dictionary,
// contingency table and keywords to the training and testing vector files.
#include <filesystem>
#include <optional>
#include <string>

#include "base/atomic_file.h"
#include "base/cluster.h"
#include "base/errors.h"
#include "base/staged_folder.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "cli/pipeline_ranks.h"
#include "corpusdb/queries.h"
#include "segmentation/segmenter_binding.h"
#include "vsm/vector_file.h"

namespace newsclass {
namespace {

struct BuildVectorsOptions {
  std::string weighting = "spec";
  std::string vectorFormat = "text";
};

// build-vectors across the ranks of an MPI job (cli/pipeline_ranks.h), every rank holding the
// whole dictionary: rank 0 writes both files into a staged folder, which replaces them only once
// every rank has done its part.
int buildVectorsOnRanks(RunContext& context, const Dictionary& dictionary) {
  std::optional<StagedFolder> staged;
  if (cluster::rank() == 0) staged.emplace(context.options().dataDir, std::vector<std::string>{});
  const std::string folder = staged ? staged->folder() : context.options().dataDir;
  const VectorStagePaths paths{context.dataPath(kKeywordsFile),
                               (std::filesystem::path(folder) / kTrainingVectorsFile).string(),
                               (std::filesystem::path(folder) / kTestingVectorsFile).string()};
  AtomicFileGroup files;
  buildVectorsAcrossRanks(context.environment(), context.trainingRange(),
                          {context.testFirst, context.testLast}, dictionary, paths, files,
                          [](const std::string&, const std::string&, const StageClock&,
                             const std::string&) {});
  if (!staged) return 0;
  files.commit();
  staged->commit({});
  context.recordFacts(ProvenanceStage::kVectors, context.vectorFacts(),
                      {kTrainingVectorsFile, kTestingVectorsFile});
  return 0;
}

}  // namespace

int runDefaultSequence(RunContext& context) {
  const std::string dictionaryPath = context.dataPath(kDictionaryFile);
  const std::string contingencyPath = context.dataPath(kContingencyFile);
  const std::string keywordPath = context.dataPath(kKeywordsFile);
  const std::string trainingPath = context.dataPath(kTrainingVectorsFile);
  const std::string testingPath = context.dataPath(kTestingVectorsFile);
  // A missing input would give vectors that look right and are not (zero vectors without the
  // dictionary), so every input is checked before anything is built.
  for (const std::string* path : {&dictionaryPath, &contingencyPath, &keywordPath}) {
    context.requireReadableFile(*path);
  }
  requireCurrentFiles(context, {kDictionaryFile, kContingencyFile, kKeywordsFile});
  // The testing articles are segmented as the dictionary's were.
  if (hasModelFacts(context)) cutTextAsRecorded(context, readModelFacts(context));

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
  if (cluster::distributed()) return buildVectorsOnRanks(context, dictionary);
  // The two vector files are replaced together: each model is written to its temporary file as
  // soon as it is built (so the stage lines keep their order), and both are renamed only when
  // the testing half, which reads the database, has succeeded as well.
  AtomicFileGroup files;
  processor.buildTrainingVsm(dictionary, trainingModel, keywordPath);
  processor.saveVsm(trainingModel, trainingPath, files);
  processor.buildTestingVsm(context.testFirst, context.testLast, kTestingCorpusTable, dictionary,
                            testingModel, keywordPath);
  processor.saveVsm(testingModel, testingPath, files);
  files.commit();
  context.recordFacts(ProvenanceStage::kVectors, context.vectorFacts(),
                      {kTrainingVectorsFile, kTestingVectorsFile});
  return 0;
}

void addBuildVectorsCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<BuildVectorsOptions>(
      app, "build-vectors",
      R"(Build the TF-IDF vector models: load dict.dat and contingency.dat from the data folder,
weight the keywords of keywords.dat for every training id (--train-range), segment the
TestingCorpus articles of --test-range, then save trainingVSM.dat and testingVSM.dat
together (neither changes when anything fails). The default run without a command does
the same and then waits.)",
      FolderUse::kWriteInputs, [](RunContext& context, const BuildVectorsOptions& options) {
        context.environment().weighting = weightingByName(options.weighting);
        context.environment().vectorFormat = *vectorFormatNamed(options.vectorFormat);
        return runDefaultSequence(context);
      });
  addWeightingOption(command, options.weighting);
  addVectorFormatOption(command, options.vectorFormat);
}

}  // namespace newsclass
