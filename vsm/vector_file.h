// The vector files trainingVSM.dat and testingVSM.dat: per model entry, in ascending article id,
// the id, the number of weights and the weights, each in printf's %g form followed by a space.
#ifndef NEWSCLASS_VSM_VECTOR_FILE_H_
#define NEWSCLASS_VSM_VECTOR_FILE_H_

#include <string>

#include "base/atomic_file.h"
#include "base/stage_environment.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// Formats the model with the environment's threads (the bytes do not depend on their number)
// and writes the stage's timing line. The first replaces `path` at once; the second writes it
// as part of `files`, replaced when the group commits.
void saveVsm(const StageEnvironment& environment, const VsmModel& model, const std::string& path);
void saveVsm(const StageEnvironment& environment, const VsmModel& model, const std::string& path,
             AtomicFileGroup& files);
// Adds the file's vectors to `model`, parsing on the environment's threads, and writes the
// loading time. A record cut short or a weight that is not a finite number is a DataFileError
// naming the record; nothing is added then.
void loadVsm(const StageEnvironment& environment, VsmModel& model, const std::string& path);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_VECTOR_FILE_H_
