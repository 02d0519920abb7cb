// The vector files trainingVSM.dat and testingVSM.dat: per model entry, in ascending article id,
// the id, the number of weights and the weights, each in printf's %g form followed by a space.
#ifndef NEWSCLASS_VSM_VECTOR_FILE_H_
#define NEWSCLASS_VSM_VECTOR_FILE_H_

#include <optional>
#include <string>

#include "base/atomic_file.h"
#include "base/stage_environment.h"
#include "vsm/vsm_model.h"

namespace newsclass {

// The names of the vector files' forms (vsm/vsm_model.h): "text" or "binary", and back
// (nothing for another name).
std::string vectorFormatName(VectorFormat format);
std::optional<VectorFormat> vectorFormatNamed(const std::string& name);

// The timing line of a vector file's save (UTF-8; printed in GBK). Kept exactly: scripts match it.
inline constexpr const char* kSaveVectorsTimingLabel = "将语料库集合的VSM模型为序列化到硬盘的时间为";

// Formats the model with the environment's threads (the bytes do not depend on their number)
// and writes the stage's timing line. The first replaces `path` at once; the second writes it
// as part of `files`, replaced when the group commits.
void saveVsm(const StageEnvironment& environment, const VsmModel& model, const std::string& path,
             VectorFormat format = VectorFormat::kText);
void saveVsm(const StageEnvironment& environment, const VsmModel& model, const std::string& path,
             AtomicFileGroup& files, VectorFormat format = VectorFormat::kText);
// saveVsm as part of `files`, then every weight of `model` replaced by the value the file gives
// back (vsm/written_weights.h); in binary form both in one pass.
void saveAndRoundVsm(const StageEnvironment& environment, VsmModel& model, const std::string& path,
                     AtomicFileGroup& files, VectorFormat format);
// The text form of `model`'s records, formatted on `threads` threads (the bytes do not depend
// on their number). The form has no header: the records of consecutive shares of a model,
// written one after another, are the file of the whole.
void writeVsmText(const VsmModel& model, int threads, std::ostream& out);

// Adds the file's vectors to `model`, parsing on the environment's threads, and writes the
// loading time; a file in binary form is told by its first bytes and read as such. A record cut
// short or a weight that is not a finite number is a DataFileError naming the record; nothing is
// added then.
void loadVsm(const StageEnvironment& environment, VsmModel& model, const std::string& path);

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_VECTOR_FILE_H_
