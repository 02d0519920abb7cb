#include "segmentation/stop_word_set.h"

namespace newsclass {

StopWordSet::StopWordSet(std::initializer_list<std::string> words) {
  for (const std::string& word : words) insert(word);
}

StopWordSet::StopWordSet(const StopWordSet& other) : words_(other.words_) { rebuild(other.slots_.size()); }

StopWordSet& StopWordSet::operator=(const StopWordSet& other) {
  if (this != &other) {
    words_ = other.words_;
    rebuild(other.slots_.size());
  }
  return *this;
}

void StopWordSet::insert(std::string_view word) {
  auto [entry, added] = words_.emplace(word);
  if (!added) return;
  if (words_.size() * 2 > slots_.size()) {
    rebuild(slots_.empty() ? 64 : slots_.size() * 2);
  } else {
    place(&*entry);
  }
}

void StopWordSet::place(const std::string* word) {
  const uint32_t hash = hashOf(*word);
  size_t i = hash & (slots_.size() - 1);
  while (slots_[i].word != nullptr) i = (i + 1) & (slots_.size() - 1);
  slots_[i] = Slot{hash, word};
}

void StopWordSet::rebuild(size_t capacity) {
  slots_.assign(words_.empty() ? 0 : capacity, Slot{});
  if (slots_.empty()) return;
  for (const std::string& word : words_) place(&word);
}

}  // namespace newsclass
