#include "features/measure_selection.h"

#include <limits>
#include <optional>

#include "base/errors.h"
#include "contingency/df_selection.h"

namespace newsclass {
namespace {

constexpr const char* kDocumentFrequency = "df";

struct NamedMeasure {
  const char* name;
  FeatureMeasure measure;
};

constexpr NamedMeasure kPerCategoryMeasures[] = {
    {"chi", FeatureMeasure::kChiSquare},
    {"ig", FeatureMeasure::kInformationGain},
    {"mi", FeatureMeasure::kMutualInformation},
    {"cf", FeatureMeasure::kCategoryFrequency},
};

std::optional<FeatureMeasure> perCategoryMeasure(const std::string& name) {
  for (const NamedMeasure& named : kPerCategoryMeasures) {
    if (name == named.name) return named.measure;
  }
  return std::nullopt;
}

}  // namespace

const std::vector<std::string>& featureMeasureNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const NamedMeasure& named : kPerCategoryMeasures) list.push_back(named.name);
    list.push_back(kDocumentFrequency);
    return list;
  }();
  return names;
}

std::string featureMeasureList() {
  const std::vector<std::string>& names = featureMeasureNames();
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i];
  }
  return list;
}

bool measureUsesTable(const std::string& measure) { return measure != kDocumentFrequency; }

std::vector<std::string_view> keywordsByMeasure(
    const std::string& measure, const CategoryList& categories, const Dictionary& dictionary,
    ContingencyTable& table, int32_t count, int32_t rangeSize,
    const std::function<int32_t(const std::string&)>& articleCountOf) {
  if (measure == kDocumentFrequency) {
    return dfFeatureWords(dictionary, count == 0 ? static_cast<unsigned>(dictionary.size())
                                                 : static_cast<unsigned>(count));
  }
  const std::optional<FeatureMeasure> perCategory = perCategoryMeasure(measure);
  if (!perCategory) {
    throw UsageError("--measure: expected " + featureMeasureList() + ", got \"" + measure + "\"");
  }
  return selectFeatureWords(*perCategory, categories, dictionary, table,
                            count == 0 ? std::numeric_limits<int32_t>::max() : count, rangeSize,
                            articleCountOf);
}

void selectKeywordsByMeasure(const StageEnvironment& environment, ArticleRange range,
                             const std::string& measure,
                             const CategoryList& categories, const Dictionary& dictionary,
                             ContingencyTable& table, int32_t count, const std::string& path,
                             std::vector<CategorySelection>* selections) {
  // A count of 0 asks for every word: df takes the whole dictionary, and a per-category
  // measure a quota beyond every ranking, so that each category takes all its ranked words.
  if (measure == kDocumentFrequency) {
    selectByDfThreshold(
        dictionary, count == 0 ? static_cast<unsigned>(dictionary.size()) : static_cast<unsigned>(count),
        path, *environment.console);
    return;
  }
  if (count == 0) count = std::numeric_limits<int32_t>::max();
  const std::optional<FeatureMeasure> perCategory = perCategoryMeasure(measure);
  if (!perCategory) {
    throw UsageError("--measure: expected " + featureMeasureList() + ", got \"" + measure + "\"");
  }
  selectFeatures(environment, range, *perCategory, categories, dictionary, table, count, path, selections);
}

}  // namespace newsclass
