// Starting and stopping the environment's segmenter around a segmenting stage, with the
// start-up lines on the processor's console.
#include <string>

#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "segmentation/segmenter.h"

namespace newsclass {

void CorpusProcessor::startSegmenter() {
  static const std::string kInitFailed = "ICTCLAS INIT FAILED!\n";
  static const std::string kUserDictionaryHeading = gbk("\n导入用户词典后：\n");
  static const std::string kImportedBefore = gbk("导入");
  static const std::string kImportedAfter = gbk("个用户词。\n");
  Segmenter* segmenter = environment().segmenter;
  // A failed start is reported and the stage goes on: the segmenter then cuts every Chinese
  // character apart. An environment without a segmenter starts none.
  if (segmenter == nullptr || !segmenter->start(environment().lexiconPath)) {
    console().write(kInitFailed);
  }
  console().write(kUserDictionaryHeading);
  int imported =
      segmenter != nullptr ? segmenter->importUserDictionary(environment().userDictionaryPath) : 0;
  console().write(kImportedBefore + std::to_string(imported) + kImportedAfter);
}

void CorpusProcessor::stopSegmenter() {
  if (environment().segmenter != nullptr) environment().segmenter->stop();
}

}  // namespace newsclass
