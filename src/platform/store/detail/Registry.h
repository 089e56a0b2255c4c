#pragma once
// A list of registrations, each under an id, shared between a store and the removers it hands
// out. Copy-on-write: a reader takes the current list under a short lock and walks it unlocked,
// so code it calls may add or remove registrations meanwhile. Any thread.
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace ml::store::detail {

template <class T>
class Registry {
 public:
  using List = std::vector<std::pair<std::uint64_t, T>>;

  std::uint64_t add(T value) {
    std::lock_guard lock(mutex_);
    auto next = std::make_shared<List>(*list_);
    const auto id = nextId_++;
    next->emplace_back(id, std::move(value));
    list_ = std::move(next);
    return id;
  }

  // Applies `change` to the registration `id`, when it is still there.
  template <class F>
  void update(std::uint64_t id, F&& change) {
    std::lock_guard lock(mutex_);
    auto next = std::make_shared<List>(*list_);
    for (auto& entry : *next)
      if (entry.first == id) change(entry.second);
    list_ = std::move(next);
  }

  // Whether `id` was there.
  bool remove(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    auto next = std::make_shared<List>(*list_);
    const auto removed = std::erase_if(*next, [id](const auto& entry) { return entry.first == id; });
    list_ = std::move(next);
    return removed > 0;
  }

  std::shared_ptr<const List> current() const {
    std::lock_guard lock(mutex_);
    return list_;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const List> list_ = std::make_shared<const List>();
  std::uint64_t nextId_ = 1;
};

}  // namespace ml::store::detail
