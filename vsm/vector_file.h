// Loading a vector file (trainingVSM.dat, testingVSM.dat) with a choice of what a damaged file
// costs. The processor's loadVsm keeps the records before a damaged one and warns; a command
// whose output would be built from a model cut short asks for a refusal instead.
#ifndef NEWSCLASS_VSM_VECTOR_FILE_H_
#define NEWSCLASS_VSM_VECTOR_FILE_H_

#include <string>

#include "driver/corpus_processor.h"

namespace newsclass {

enum class VsmLoadPolicy {
  // A file that cannot be read loads nothing; a record cut short or a token that is not a
  // number ends the load, keeps the records before it and writes one warning naming the record.
  kWarnAndKeep,
  // Each of those is a DataFileError "<path>: <what>" instead; nothing is warned.
  kRefuse,
};

// Reads the records of `path` into `model` (a record replaces a vector under the same id) and
// prints the load's timing line. Whatever the policy, a weight that is not a finite number
// (inf, nan, beyond the range of double) throws DataFileError
// "<path>: record N (article ID): weight I "<token>" is not a finite number".
void loadVsmFile(CorpusProcessor& processor, VsmModel& model, const std::string& path,
                 VsmLoadPolicy policy);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_VECTOR_FILE_H_
