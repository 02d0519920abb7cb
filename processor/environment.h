// What a processor needs from the world around it: where the corpus database and the text
// files are, which console its messages go to, and the segmenter its segmenting stages start.
// The command line (cli/) fills it; tests fill it with temporary files.
#ifndef NEWSCLASS_PROCESSOR_ENVIRONMENT_H_
#define NEWSCLASS_PROCESSOR_ENVIRONMENT_H_

#include <iostream>
#include <string>

#include "base/console.h"
#include "base/progress.h"
#include "segmentation/segmenter.h"
#include "vsm/vsm_model.h"

namespace newsclass {

struct Environment {
  explicit Environment(std::ostream& warningStream = std::cerr) : warnings(warningStream) {}

  // ODBC connection string of the corpus database.
  std::string connectionString;
  // Segmenter lexicon, user dictionary and stop words.
  std::string lexiconPath = kDefaultLexiconPath;
  std::string userDictionaryPath = "dict.txt";
  std::string stopWordsPath = "stopwords.txt";
  // Stage messages (GBK, converted by the console).
  Console* console = nullptr;
  // Warnings: one line each, plain text (base/errors.h says what is a warning). Chosen when
  // the environment is made and always there.
  std::ostream& warnings;
  // How the vector stages weigh keywords (--weighting).
  Weighting weighting = Weighting::kSpec;
  // Whether the neighbours vote with their similarities instead of one vote each (--vote).
  bool similarityVote = false;
  // Threads the costly stages may use (--threads); their results do not depend on it.
  int threads = 1;
  // Where the long stages draw their progress line; null when none is wanted.
  ProgressDisplay* progress = nullptr;
  // The segmenter that startSegmenter starts and stopSegmenter stops.
  Segmenter* segmenter = nullptr;
};

}  // namespace newsclass

#endif  // NEWSCLASS_PROCESSOR_ENVIRONMENT_H_
