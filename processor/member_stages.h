// The processor that stage code reaches CorpusProcessor's member operations through while they
// are not yet free functions. Code that takes the stages' environment and the training range
// makes one of these in one place, calls the members it still needs on its processor, and
// changes each such call to the stage's free function once that exists.
#ifndef NEWSCLASS_PROCESSOR_MEMBER_STAGES_H_
#define NEWSCLASS_PROCESSOR_MEMBER_STAGES_H_

#include "base/stage_environment.h"
#include "processor/corpus_processor.h"
#include "processor/environment.h"

namespace newsclass {

class MemberStages {
 public:
  // A processor over `range` in a copy of `stage` (the same console, warning stream, segmenter
  // and progress display) with the weighting and vote the members use.
  MemberStages(const StageEnvironment& stage, ArticleRange range,
               Weighting weighting = Weighting::kSpec, bool similarityVote = false)
      : environment_(stage, weighting, similarityVote),
        processor_(range.firstId, range.lastId, environment_) {}
  MemberStages(const MemberStages&) = delete;
  MemberStages& operator=(const MemberStages&) = delete;

  CorpusProcessor& processor() { return processor_; }

 private:
  Environment environment_;
  CorpusProcessor processor_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_PROCESSOR_MEMBER_STAGES_H_
