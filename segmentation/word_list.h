// The words of one article in text order, repeats kept: what a tokeniser gives.
#ifndef NEWSCLASS_SEGMENTATION_WORD_LIST_H_
#define NEWSCLASS_SEGMENTATION_WORD_LIST_H_

#include <string>
#include <vector>

namespace newsclass {

using WordList = std::vector<std::string>;

}  // namespace newsclass

#endif  // NEWSCLASS_SEGMENTATION_WORD_LIST_H_
