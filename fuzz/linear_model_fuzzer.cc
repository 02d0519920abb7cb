// linear.model: any bytes are loaded or refused naming the file, for the category count its
// "nr_class" line gives and for one more, as the SVMs' and as logistic regression's; a loaded
// model decides an article of its features and of features beyond them without fault, and a
// logistic one gives probabilities that add up to 1.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "linear/linear_model.h"

namespace {

// The number after "nr_class " in the file, when there is one from 1 to 64.
size_t recordedClassCount(std::string_view bytes) {
  const size_t at = bytes.find("nr_class ");
  if (at == std::string_view::npos) return 2;
  size_t count = 0;
  const char* first = bytes.data() + at + 9;
  std::from_chars(first, bytes.data() + bytes.size(), count);
  return count >= 1 && count <= 64 ? count : 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace newsclass;
  const std::string_view bytes = fuzz::asBytes(data, size);
  const std::string path = fuzz::writeScratchFile("linear.model", bytes);
  const size_t classes = recordedClassCount(bytes);
  // Loaded as the kind its solver line names, as the commands load the kind model.json names.
  const LinearLoss loss = bytes.substr(0, 19) == "solver_type L2R_LR\n" ? LinearLoss::kLogistic
                                                                         : LinearLoss::kSquaredHinge;
  for (const size_t categoryCount : {classes + 1, classes}) {
    fuzz::expectAcceptedOrRefused(path, [&] {
      const LinearModel model = LinearModel::load(path, categoryCount, loss);
      const int32_t features = static_cast<int32_t>(model.featureCount());
      const WeightedKeywordList article = {{0, 0.5}, {features / 2, 0.25}, {features - 1, 0.75},
                                           {features, 1.0}};
      std::vector<double> values;
      const int predicted = model.decide(article, categoryCount, values);
      if (predicted < 0 || static_cast<size_t>(predicted) >= categoryCount ||
          values.size() != categoryCount) {
        fuzz::fail("a loaded linear.model decided for a category that does not exist");
      }
      if (model.givesProbabilities() != (loss == LinearLoss::kLogistic)) {
        fuzz::fail("a loaded linear.model is not the kind it was loaded as");
      }
      if (model.givesProbabilities()) {
        std::vector<double> probabilities;
        model.probabilities(article, categoryCount, probabilities);
        double sum = 0.0;
        for (double p : probabilities) sum += p;
        if (!(std::fabs(sum - 1.0) < 1e-9)) fuzz::fail("probabilities do not add up to 1");
      }
      (void)model.coefficient(features - 1, predicted);
      (void)model.bias(predicted);
    });
  }
  return 0;
}
