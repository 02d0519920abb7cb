// Starting and stopping the environment's segmenter around a segmenting stage, with the
// start-up lines on the environment's console.
#include "segmentation/segmenter_binding.h"

#include <string>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/text_file_reader.h"
#include "segmentation/segmenter.h"

namespace newsclass {
namespace {

// Kept exactly as the segmenter has always printed it: scripts match the line.
const std::string kInitFailed = "ICTCLAS INIT FAILED!\n";

// The error of a lexicon the segmenter could not start with, saying which of the two ways it
// failed.
DataFileError lexiconError(const std::string& path) {
  std::string bytes;
  if (tryReadTextFile(path, bytes)) {
    return DataFileError(path + ": cannot read the segmenter's lexicon (--lexicon)");
  }
  return DataFileError(path +
                       ": the segmenter's lexicon holds no entry of a word and a positive "
                       "frequency (--lexicon)");
}

}  // namespace

void startSegmenter(const StageEnvironment& environment) {
  static const std::string kUserDictionaryHeading = gbk("\n导入用户词典后：\n");
  static const std::string kImportedBefore = gbk("导入");
  static const std::string kImportedAfter = gbk("个用户词。\n");
  Segmenter* segmenter = environment.segmenter;
  // A failed start is reported and ends the stage: without its lexicon the segmenter would cut
  // every Chinese character apart. An environment without a segmenter starts none and goes on
  // (its stages cut characters apart on purpose).
  if (segmenter == nullptr) {
    environment.console->write(kInitFailed);
  } else if (!segmenter->start(environment.lexiconPath, &environment.warnings)) {
    environment.console->write(kInitFailed);
    environment.console->flush();
    throw lexiconError(environment.lexiconPath);
  }
  environment.console->write(kUserDictionaryHeading);
  int imported =
      segmenter != nullptr ? segmenter->importUserDictionary(environment.userDictionaryPath) : 0;
  environment.console->write(kImportedBefore + std::to_string(imported) + kImportedAfter);
}

void stopSegmenter(const StageEnvironment& environment) {
  if (environment.segmenter != nullptr) environment.segmenter->stop();
}

SegmenterSession::SegmenterSession(const StageEnvironment& environment)
    : environment_(&environment) {
  startSegmenter(environment);
}

SegmenterSession::~SegmenterSession() { stop(); }

void SegmenterSession::stop() {
  if (environment_ != nullptr) stopSegmenter(*environment_);
  environment_ = nullptr;
}

void checkSegmenterLexicon(const StageEnvironment& environment) {
  if (environment.segmenter == nullptr) return;
  // A segmenter of its own, so that the environment's stays as it was; the loaded lexicon
  // is kept by the segmenter for the next start with the same file.
  Segmenter probe;
  if (!probe.start(environment.lexiconPath, &environment.warnings)) {
    environment.console->write(kInitFailed);
    environment.console->flush();
    throw lexiconError(environment.lexiconPath);
  }
}

}  // namespace newsclass
