#pragma once
// The ingestion's network watcher: whether the internet can be reached, and news of each change
// to the observers of this object (the ingestion that owns it). It wraps a platform network
// monitor; reachabilityForInternetConnection() shares the process-wide one.
//
// Notifications are posted while the notifier runs: once at startNotifier() (synchronously, on
// the caller's thread, so the owner learns the current state), then after every change, on the
// monitor's thread. Observers are called outside the object's lock and must hold what they touch
// weakly. Thread-safe.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/net/NetworkMonitor.h"

namespace ml::beacon {

// The name of the change notification (kept for log lines and callers that name it).
inline constexpr std::string_view kTLReachabilityChangedNotification = "kTLNetworkReachabilityChangedNotification";

enum class TLNetworkStatus : int { notReachable = 0, reachable = 1 };

class TLReachability : public std::enable_shared_from_this<TLReachability> {
 public:
  using Observer = std::function<void(TLReachability& sender)>;
  using ObserverId = std::uint64_t;

  // Over the process-wide monitor of the real network.
  static std::shared_ptr<TLReachability> reachabilityForInternetConnection();
  // Over a given monitor (tests pass a ManualNetworkMonitor).
  static std::shared_ptr<TLReachability> reachabilityWithMonitor(std::shared_ptr<net::NetworkMonitor> monitor);

  explicit TLReachability(std::shared_ptr<net::NetworkMonitor> monitor);
  ~TLReachability();
  TLReachability(const TLReachability&) = delete;
  TLReachability& operator=(const TLReachability&) = delete;

  // Starts watching and posts the notification at once; true when watching (also when already
  // watching, in which case nothing is posted).
  bool startNotifier();
  void stopNotifier();
  bool isNotifierRunning() const;

  TLNetworkStatus currentReachabilityStatus() const;
  // Whether a connection must first be brought up (dial-on-demand links): never on this platform.
  bool connectionRequired() const { return false; }

  ObserverId addObserver(Observer observer);
  void removeObserver(ObserverId id);

 private:
  void post();

  std::shared_ptr<net::NetworkMonitor> monitor_;
  mutable std::mutex mutex_;
  std::map<ObserverId, Observer> observers_;
  ObserverId nextObserverId_ = 1;
  std::optional<net::NetworkMonitor::ObserverId> subscription_;
};

}  // namespace ml::beacon
