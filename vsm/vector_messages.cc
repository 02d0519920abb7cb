#include "vsm/vector_messages.h"

#include "base/byte_message.h"

namespace newsclass::vsm {

std::string packVectors(const VsmModel& model) {
  MessageWriter message;
  message.put<uint64_t>(model.size());
  for (const auto& [id, weights] : model) {
    message.put<int32_t>(id);
    message.put<uint64_t>(weights.size());
    if (!weights.empty()) {
      message.bytes().append(reinterpret_cast<const char*>(weights.data()),
                             weights.size() * sizeof(double));
    }
  }
  return std::move(message.bytes());
}

void unpackVectors(std::string_view packed, VsmModel& model) {
  MessageReader message(packed);
  const uint64_t count = message.get<uint64_t>();
  auto hint = model.end();
  for (uint64_t v = 0; v < count; ++v) {
    const int32_t id = message.get<int32_t>();
    WeightVector weights(message.get<uint64_t>());
    for (double& weight : weights) weight = message.get<double>();
    hint = model.insert_or_assign(hint, id, std::move(weights));
    ++hint;
  }
}

std::string packKeywordWeighting(const KeywordWeighting& weighting) {
  MessageWriter message;
  message.put<int64_t>(weighting.collectionSize);
  message.put<uint64_t>(weighting.keywords.size());
  for (size_t i = 0; i < weighting.keywords.size(); ++i) {
    message.putText(weighting.keywords[i]);
    message.put<int32_t>(weighting.statistics[i].maxCount);
    message.put<int32_t>(weighting.statistics[i].documentFrequency);
  }
  return std::move(message.bytes());
}

KeywordWeighting unpackKeywordWeighting(std::string_view packed) {
  MessageReader message(packed);
  KeywordWeighting weighting;
  weighting.collectionSize = message.get<int64_t>();
  const uint64_t count = message.get<uint64_t>();
  for (uint64_t i = 0; i < count; ++i) {
    weighting.keywords.emplace_back(message.getText());
    KeywordStatistic statistic;
    statistic.maxCount = message.get<int32_t>();
    statistic.documentFrequency = message.get<int32_t>();
    weighting.statistics.push_back(statistic);
  }
  return weighting;
}

}  // namespace newsclass::vsm
