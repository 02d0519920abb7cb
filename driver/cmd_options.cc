#include "driver/cmd_options.h"

#include <climits>

#include "features/measure_selection.h"

namespace newsclass {

CLI::Option* addMeasureOption(CLI::App& command, std::string& measure) {
  return command.add_option("--measure", measure, "Feature measure: " + featureMeasureList())
      ->check(CLI::IsMember(featureMeasureNames()))
      ->capture_default_str();
}

CLI::Option* addFeatureCountOption(CLI::App& command, int32_t& count) {
  return command.add_option("--count", count, "Number of feature words requested")
      ->check(wholeNumber(0, INT32_MAX))
      ->capture_default_str();
}

CLI::Option* addNeighbourCountOption(CLI::App& command, int& k) {
  return command.add_option("--k", k, "Number of neighbours K")
      ->check(wholeNumber(INT32_MIN, INT32_MAX))
      ->capture_default_str();
}

CLI::Option* addTokenizerOption(CLI::App& command, std::string& tokenizer) {
  return command
      .add_option("--tokenizer", tokenizer,
                  "segment: segment Chinese text, drop digits and stop words; "
                  "space: split text that is already segmented at spaces")
      ->check(CLI::IsMember({"segment", "space"}))
      ->capture_default_str();
}

CLI::Option* addReportFormatOption(CLI::App& command, std::string& format) {
  return command.add_option("--format", format, "Report format: text, csv or json")
      ->check(CLI::IsMember({"text", "csv", "json"}))
      ->capture_default_str();
}

Tokenizer tokenizerByName(const std::string& name) {
  return name == "space" ? &CorpusProcessor::splitBySpace : &CorpusProcessor::tokenizeArticle;
}

}  // namespace newsclass
