#include "linear/linear_ranks.h"

#include <string>
#include <utility>
#include <vector>

#include "base/byte_message.h"
#include "base/cluster.h"
#include "base/stage_environment.h"

namespace newsclass {
namespace {

std::string packTrainingSet(const LinearTrainingSet& training, size_t featureCount) {
  MessageWriter message;
  message.put<uint64_t>(featureCount);
  message.put<uint64_t>(training.vectors.size());
  for (size_t i = 0; i < training.vectors.size(); ++i) {
    message.put<int32_t>(training.classes[i]);
    message.put<uint64_t>(training.vectors[i].size());
    for (const auto& [position, weight] : training.vectors[i]) {
      message.put<int32_t>(position);
      message.put<double>(weight);
    }
  }
  return std::move(message.bytes());
}

LinearTrainingSet unpackTrainingSet(const std::string& bytes, size_t& featureCount) {
  MessageReader message(bytes);
  featureCount = message.get<uint64_t>();
  LinearTrainingSet training;
  const uint64_t count = message.get<uint64_t>();
  training.vectors.resize(count);
  training.classes.resize(count);
  for (uint64_t i = 0; i < count; ++i) {
    training.classes[i] = message.get<int32_t>();
    WeightedKeywordList& vector = training.vectors[i];
    vector.resize(message.get<uint64_t>());
    for (auto& [position, weight] : vector) {
      position = message.get<int32_t>();
      weight = message.get<double>();
    }
  }
  return training;
}

}  // namespace

std::optional<LinearModel> trainLinearAcrossRanks(const LinearTrainingSet* trainingOnRoot,
                                                  size_t featureCount,
                                                  const LinearSettings& settings) {
  const bool root = cluster::rank() == 0;
  // Whether the classes make one machine (rank 0 alone) or one each (shared out).
  std::string machines = root ? std::to_string(LinearModel::machineOrder(trainingOnRoot->classes).size()) : "";
  cluster::broadcast(machines);
  if (std::stoul(machines) <= 2) {
    if (!root) return std::nullopt;
    return LinearModel::train(trainingOnRoot->vectors, trainingOnRoot->classes, featureCount,
                              settings);
  }
  std::string packed = root ? packTrainingSet(*trainingOnRoot, featureCount) : "";
  cluster::broadcast(packed);
  LinearTrainingSet received;
  if (!root) received = unpackTrainingSet(packed, featureCount);
  packed.clear();
  packed.shrink_to_fit();
  const LinearTrainingSet& training = root ? *trainingOnRoot : received;

  const std::vector<int> order = LinearModel::machineOrder(training.classes);
  const ArticleRange share = cluster::ownShareOf({0, static_cast<int32_t>(order.size()) - 1});
  const std::vector<int> mine(order.begin() + share.firstId,
                              order.begin() + share.firstId + share.size());
  std::vector<std::vector<double>> trained =
      mine.empty() ? std::vector<std::vector<double>>()
                   : LinearModel::trainMachines(training.vectors, training.classes, featureCount,
                                                settings, mine);
  if (!root) {
    MessageWriter message;
    for (const std::vector<double>& machine : trained) {
      for (double weight : machine) message.put<double>(weight);
    }
    cluster::gatherToRoot(std::move(message.bytes()), {});
    return std::nullopt;
  }
  std::vector<std::vector<double>> all = std::move(trained);
  cluster::gatherToRoot("", [&](int fromRank, std::string bytes) {
    const ArticleRange theirs =
        cluster::shareOf({0, static_cast<int32_t>(order.size()) - 1}, fromRank, cluster::size());
    MessageReader message(bytes);
    for (int32_t i = 0; i < theirs.size(); ++i) {
      std::vector<double>& machine = all.emplace_back(featureCount + 1);
      for (double& weight : machine) weight = message.get<double>();
    }
  });
  return LinearModel::fromMachines(order, all, featureCount, settings.loss);
}

}  // namespace newsclass
