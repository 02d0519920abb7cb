// A category's words ranked by a feature score, highest first.
#ifndef NEWSCLASS_FEATURES_FEATURE_RANKING_H_
#define NEWSCLASS_FEATURES_FEATURE_RANKING_H_

#include <string>
#include <utility>
#include <vector>

namespace newsclass {

using FeatureRanking = std::vector<std::pair<std::string, double>>;

}  // namespace newsclass

#endif  // NEWSCLASS_FEATURES_FEATURE_RANKING_H_
