// A value that readers on any thread see whole: writers build a new value apart and publish it
// in one step; readers take the current one and keep it as long as they use it.
#pragma once

#include <memory>
#include <mutex>

namespace qorsv {

template <typename T>
class Published {
 public:
  Published() : current_(std::make_shared<const T>()) {}

  std::shared_ptr<const T> Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
  }

  void Set(T value) {
    auto next = std::make_shared<const T>(std::move(value));
    std::lock_guard<std::mutex> lock(mutex_);
    current_.swap(next);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const T> current_;
};

}  // namespace qorsv
