#include "platform/net/ManualNetworkMonitor.h"

#include <vector>

namespace ml::net {

NetworkStatus ManualNetworkMonitor::currentStatus() const {
  std::lock_guard guard(mutex_);
  return status_;
}

NetworkMonitor::ObserverId ManualNetworkMonitor::addObserver(Observer observer) {
  std::lock_guard guard(mutex_);
  ObserverId id = nextId_++;
  observers_.emplace(id, std::move(observer));
  return id;
}

void ManualNetworkMonitor::removeObserver(ObserverId id) {
  std::lock_guard guard(mutex_);
  observers_.erase(id);
}

void ManualNetworkMonitor::setStatus(NetworkStatus status) {
  std::vector<Observer> snapshot;
  {
    std::lock_guard guard(mutex_);
    if (status_ == status) return;
    status_ = status;
    for (const auto& [id, observer] : observers_) snapshot.push_back(observer);
  }
  for (const auto& observer : snapshot) observer(status);
}

std::size_t ManualNetworkMonitor::observerCount() const {
  std::lock_guard guard(mutex_);
  return observers_.size();
}

}  // namespace ml::net
