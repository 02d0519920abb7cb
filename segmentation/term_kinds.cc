#include "segmentation/term_kinds.h"

namespace newsclass {

std::string termKindsName(TermKinds kinds) {
  switch (kinds) {
    case TermKinds::kChars: return "chars";
    case TermKinds::kWordsAndChars: return "words+chars";
    case TermKinds::kWords: break;
  }
  return "words";
}

std::optional<TermKinds> termKindsNamed(const std::string& name) {
  for (TermKinds kinds : {TermKinds::kWords, TermKinds::kChars, TermKinds::kWordsAndChars}) {
    if (termKindsName(kinds) == name) return kinds;
  }
  return std::nullopt;
}

}  // namespace newsclass
