// The model the server answers with, swapped whole: a request takes the current model once and
// keeps it to its end, so a reload never changes the model under a request in flight; the old
// model goes away when its last request is done.
#ifndef NEWSCLASS_SERVE_MODEL_HOLDER_H_
#define NEWSCLASS_SERVE_MODEL_HOLDER_H_

#include <cstdint>
#include <memory>
#include <mutex>

#include "serve/served_model.h"

namespace newsclass {

class ModelHolder {
 public:
  // The model answering now; null until the first one is installed.
  std::shared_ptr<const ServedModel> current() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return model_;
  }

  // Gives `model` the next generation (1 for the first) and answers with it from now on.
  // Returns the model it replaces (null for the first), which requests in flight may still
  // hold: the caller lets it go, so that no request pays for taking it down.
  std::shared_ptr<const ServedModel> install(std::shared_ptr<ServedModel> model) {
    std::lock_guard<std::mutex> lock(mutex_);
    model->setGeneration(++generations_);
    std::shared_ptr<const ServedModel> replaced = std::move(model_);
    model_ = std::move(model);
    return replaced;
  }

  // The generation the next installed model will get.
  uint64_t nextGeneration() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return generations_ + 1;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const ServedModel> model_;
  uint64_t generations_ = 0;
};

}  // namespace newsclass

#endif  // NEWSCLASS_SERVE_MODEL_HOLDER_H_
