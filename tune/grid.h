// The settings a tune run compares, written as a grid: keys with the values to try, every
// combination one setting, for example
//   classifier=linear,logistic;c=0.25,0.5,1,2;terms=words,words+chars;count=0,10000
// Each key names a command-line option of pipeline and takes the values that option takes.
#ifndef NEWSCLASS_TUNE_GRID_H_
#define NEWSCLASS_TUNE_GRID_H_

#include <string>
#include <utility>
#include <vector>

namespace newsclass {

// One setting: (key, value) in the order the grid gives the keys.
using TuneSetting = std::vector<std::pair<std::string, std::string>>;

// The keys a grid may hold, in the order the help lists them: classifier, c, class_weight,
// knn_weight, k, vote, weighting, terms, measure, count.
const std::vector<std::string>& gridKeys();

// The settings of `spec`: "key=value[,value...]" parts joined by ";" (white space around keys,
// values and separators is ignored; a last ";" is allowed), every combination of the values,
// the first key varying slowest. UsageError "--grid: ..." naming what is wrong: no setting, a
// part without "=", an unknown or repeated key, an empty or repeated value, a value the option
// would refuse ("--grid: c=abc: expected a positive number"), more than 10,000 settings.
std::vector<TuneSetting> parseGrid(const std::string& spec);

}  // namespace newsclass

#endif  // NEWSCLASS_TUNE_GRID_H_
