// What a stage needs from the world around it: where the corpus database and the segmenter's
// files are, which console its messages and which stream its warnings go to, how many threads
// it may use and where it draws its progress line. The command line (cli/) fills it, tests fill
// it with temporary files; every stage function takes it by reference and keeps nothing of it.
#ifndef NEWSCLASS_BASE_STAGE_ENVIRONMENT_H_
#define NEWSCLASS_BASE_STAGE_ENVIRONMENT_H_

#include <cstdint>
#include <iostream>
#include <string>

#include "base/console.h"
#include "base/progress.h"

namespace newsclass {

class Segmenter;

struct StageEnvironment {
  explicit StageEnvironment(std::ostream& warningStream = std::cerr) : warnings(warningStream) {}

  // ODBC connection string of the corpus database.
  std::string connectionString;
  // Segmenter lexicon, user dictionary and stop words.
  std::string lexiconPath;
  std::string userDictionaryPath = "dict.txt";
  std::string stopWordsPath = "stopwords.txt";
  // Stage messages (GBK, converted by the console).
  Console* console = nullptr;
  // Warnings: one line each, plain text (base/errors.h says what is a warning). Chosen when
  // the environment is made and always there.
  std::ostream& warnings;
  // Threads the costly stages may use (--threads); their results do not depend on it.
  int threads = 1;
  // Where the long stages draw their progress line; null when none is wanted.
  ProgressDisplay* progress = nullptr;
  // The segmenter that startSegmenter starts and stopSegmenter stops; null: every text is one
  // word.
  Segmenter* segmenter = nullptr;
};

// The training range: the articles firstId to lastId of the training table, both included.
struct ArticleRange {
  int32_t firstId = 1;
  int32_t lastId = 0;
  // N, the number of articles in the range (64 bits: no range of 32-bit ids overflows it).
  int64_t size() const { return static_cast<int64_t>(lastId) - firstId + 1; }
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_STAGE_ENVIRONMENT_H_
