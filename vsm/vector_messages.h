// Vectors and keyword weights packed for sending between the ranks of a distributed run: the
// weights keep their exact bits, so a vector built on one rank classifies the same on another.
#ifndef NEWSCLASS_VSM_VECTOR_MESSAGES_H_
#define NEWSCLASS_VSM_VECTOR_MESSAGES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vsm/keyword_weights.h"
#include "vsm/vsm_model.h"

namespace newsclass::vsm {

std::string packVectors(const VsmModel& model);
// Adds the packed vectors to `model`.
void unpackVectors(std::string_view packed, VsmModel& model);

// The keyword list with each keyword's statistics over the whole training range and N: all a
// rank needs to weigh vectors as one process over the whole range would.
struct KeywordWeighting {
  std::vector<std::string> keywords;
  std::vector<KeywordStatistic> statistics;
  int64_t collectionSize = 0;
};
std::string packKeywordWeighting(const KeywordWeighting& weighting);
KeywordWeighting unpackKeywordWeighting(std::string_view packed);

}  // namespace newsclass::vsm

#endif  // NEWSCLASS_VSM_VECTOR_MESSAGES_H_
