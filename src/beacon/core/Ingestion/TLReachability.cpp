#include "beacon/core/Ingestion/TLReachability.h"

#include <vector>

namespace ml::beacon {

std::shared_ptr<TLReachability> TLReachability::reachabilityForInternetConnection() {
  return std::make_shared<TLReachability>(net::NetworkMonitor::system());
}

std::shared_ptr<TLReachability> TLReachability::reachabilityWithMonitor(std::shared_ptr<net::NetworkMonitor> monitor) {
  return std::make_shared<TLReachability>(std::move(monitor));
}

TLReachability::TLReachability(std::shared_ptr<net::NetworkMonitor> monitor) : monitor_(std::move(monitor)) {}

TLReachability::~TLReachability() { stopNotifier(); }

bool TLReachability::startNotifier() {
  {
    std::lock_guard guard(mutex_);
    if (subscription_) return true;
    if (!monitor_) return false;
    std::weak_ptr<TLReachability> weakSelf = weak_from_this();
    subscription_ = monitor_->addObserver([weakSelf](net::NetworkStatus) {
      if (auto self = weakSelf.lock()) self->post();
    });
  }
  post();
  return true;
}

void TLReachability::stopNotifier() {
  std::lock_guard guard(mutex_);
  if (!subscription_) return;
  monitor_->removeObserver(*subscription_);
  subscription_.reset();
}

bool TLReachability::isNotifierRunning() const {
  std::lock_guard guard(mutex_);
  return subscription_.has_value();
}

TLNetworkStatus TLReachability::currentReachabilityStatus() const {
  if (!monitor_) return TLNetworkStatus::notReachable;
  return monitor_->currentStatus() == net::NetworkStatus::reachable ? TLNetworkStatus::reachable
                                                                    : TLNetworkStatus::notReachable;
}

TLReachability::ObserverId TLReachability::addObserver(Observer observer) {
  std::lock_guard guard(mutex_);
  ObserverId id = nextObserverId_++;
  observers_.emplace(id, std::move(observer));
  return id;
}

void TLReachability::removeObserver(ObserverId id) {
  std::lock_guard guard(mutex_);
  observers_.erase(id);
}

void TLReachability::post() {
  std::vector<Observer> snapshot;
  {
    std::lock_guard guard(mutex_);
    if (!subscription_) return;
    for (const auto& [id, observer] : observers_) snapshot.push_back(observer);
  }
  for (const auto& observer : snapshot) observer(*this);
}

}  // namespace ml::beacon
