// Starting and stopping the segmenter of a stage's environment. A stage that segments cannot
// do its job without the lexicon: every Chinese character would become a word of its own and the
// results would quietly shrink. So a lexicon that cannot be loaded ends the stage with an error
// naming it, after the segmenter's usual failure line. Every stage that segments holds a
// SegmenterSession, so that the segmenter is stopped however the stage ends.
#ifndef NEWSCLASS_SEGMENTATION_SEGMENTER_BINDING_H_
#define NEWSCLASS_SEGMENTATION_SEGMENTER_BINDING_H_

#include "base/stage_environment.h"

namespace newsclass {

// Starts the environment's segmenter with its lexicon and user dictionary, writing the start-up
// lines to the console. A lexicon that cannot be loaded writes "ICTCLAS INIT FAILED!" and throws
// a DataFileError naming it. An environment without a segmenter writes the failure line and
// goes on: its stages cut text into single characters on purpose.
void startSegmenter(const StageEnvironment& environment);
void stopSegmenter(const StageEnvironment& environment);

// Checks, before a command does any work, that the environment's segmenter can start with its
// lexicon, so that a command whose segmenting stage comes late changes no file when it cannot.
// Prints nothing when it can. When it cannot, writes "ICTCLAS INIT FAILED!" to the console,
// as startSegmenter does, and throws the DataFileError startSegmenter would throw. An
// environment without a segmenter passes. A lexicon loaded here is kept for the stage's start.
void checkSegmenterLexicon(const StageEnvironment& environment);

// Starts the environment's segmenter (startSegmenter, whose DataFileError it passes on, with
// nothing to stop) and stops it when the session ends, whether the stage
// returns or throws.
class SegmenterSession {
 public:
  explicit SegmenterSession(const StageEnvironment& environment);
  ~SegmenterSession();
  SegmenterSession(const SegmenterSession&) = delete;
  SegmenterSession& operator=(const SegmenterSession&) = delete;

  // Stops the segmenter now, for a stage that is done segmenting before it ends; the end of the
  // session then stops nothing.
  void stop();

 private:
  const StageEnvironment* environment_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_SEGMENTER_BINDING_H_
