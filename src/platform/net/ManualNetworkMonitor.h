#pragma once
// A network monitor whose status a test sets. setStatus() tells the observers synchronously, on
// the calling thread, when the status changes. Thread-safe.
#include <map>
#include <mutex>

#include "platform/net/NetworkMonitor.h"

namespace ml::net {

class ManualNetworkMonitor final : public NetworkMonitor {
 public:
  explicit ManualNetworkMonitor(NetworkStatus initial = NetworkStatus::reachable) : status_(initial) {}

  NetworkStatus currentStatus() const override;
  ObserverId addObserver(Observer observer) override;
  void removeObserver(ObserverId id) override;

  void setStatus(NetworkStatus status);
  std::size_t observerCount() const;

 private:
  mutable std::mutex mutex_;
  NetworkStatus status_;
  ObserverId nextId_ = 1;
  std::map<ObserverId, Observer> observers_;
};

}  // namespace ml::net
