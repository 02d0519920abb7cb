// What a processor needs from the world around it: the stages' environment (database, segmenter
// files, console, warnings, threads, progress) and the two choices the command line makes for
// the vector and classification stages, which the processor passes to them.
#ifndef NEWSCLASS_PROCESSOR_ENVIRONMENT_H_
#define NEWSCLASS_PROCESSOR_ENVIRONMENT_H_

#include <iostream>

#include "base/stage_environment.h"
#include "segmentation/segmenter.h"
#include "segmentation/term_kinds.h"
#include "vsm/vsm_model.h"

namespace newsclass {

struct Environment : StageEnvironment {
  explicit Environment(std::ostream& warningStream = std::cerr) : StageEnvironment(warningStream) {
    lexiconPath = kDefaultLexiconPath;
  }

  // How the vector stages weigh keywords (--weighting).
  Weighting weighting = Weighting::kSpec;
  // The form the vector stages write their files in (--vector-format).
  VectorFormat vectorFormat = VectorFormat::kText;
  // The terms the dictionary and the testing vectors take from a text (--terms).
  TermKinds terms = TermKinds::kWords;
  // Whether the neighbours vote with their similarities instead of one vote each (--vote).
  bool similarityVote = false;
};

}  // namespace newsclass

#endif  // NEWSCLASS_PROCESSOR_ENVIRONMENT_H_
