#pragma once
// Watches the kernel's routes and links for changes of reachability (RouteTable). A netlink
// socket subscribed to link, address and route events wakes one watcher thread, which re-reads
// the tables after each burst of events and tells the observers when the status changed. The
// thread also re-reads them every `recheckInterval` (a safety net for lost events, and the only
// source when no netlink socket can be opened). The thread runs while observers are registered
// (started by the first, stopped when the monitor goes).
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "platform/net/NetworkMonitor.h"
#include "platform/net/RouteTable.h"

namespace ml::net {

class LinuxNetworkMonitor final : public NetworkMonitor {
 public:
  explicit LinuxNetworkMonitor(RouteTableSources sources = {},
                               std::chrono::milliseconds recheckInterval = std::chrono::seconds(30));
  ~LinuxNetworkMonitor() override;
  LinuxNetworkMonitor(const LinuxNetworkMonitor&) = delete;
  LinuxNetworkMonitor& operator=(const LinuxNetworkMonitor&) = delete;

  NetworkStatus currentStatus() const override;
  ObserverId addObserver(Observer observer) override;
  void removeObserver(ObserverId id) override;

 private:
  void startLocked();
  void run(int netlinkFd);
  void recheck();

  const RouteTableSources sources_;
  const std::chrono::milliseconds recheckInterval_;

  mutable std::mutex mutex_;
  std::map<ObserverId, Observer> observers_;
  ObserverId nextId_ = 1;
  bool watching_ = false;
  std::atomic<NetworkStatus> lastStatus_{NetworkStatus::notReachable};
  int stopFd_ = -1;  // eventfd that wakes the watcher for shutdown
  std::thread watcher_;
};

}  // namespace ml::net
