// Reading the environment's stop-word file.
#ifndef NEWSCLASS_SEGMENTATION_STOP_WORDS_H_
#define NEWSCLASS_SEGMENTATION_STOP_WORDS_H_

#include "base/stage_environment.h"
#include "segmentation/stop_word_set.h"

namespace newsclass {

// Every white-space-separated token of the stop-word file, UTF-8 or GBK, as GBK bytes. A file
// that cannot be read gives no stop word and one warning line naming it.
StopWordSet loadStopWords(const StageEnvironment& environment);

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_STOP_WORDS_H_
