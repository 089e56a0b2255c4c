#pragma once
// Whether this machine can reach the internet at all (not whether a given server answers), and
// news of each change. The stand-in for the platform's reachability service: product code sees
// this interface; LinuxNetworkMonitor watches the kernel's routes, ManualNetworkMonitor is set by
// tests.
#include <cstdint>
#include <functional>
#include <memory>

namespace ml::net {

enum class NetworkStatus : int { notReachable = 0, reachable = 1 };

class NetworkMonitor {
 public:
  using Observer = std::function<void(NetworkStatus status)>;
  using ObserverId = std::uint64_t;

  virtual ~NetworkMonitor() = default;

  // The status as last observed. While observers are registered it is the status whose change
  // was (or is being) announced, so a caller that reads "not reachable" is sure to hear of the
  // network's return.
  virtual NetworkStatus currentStatus() const = 0;

  // Calls `observer` with the new status after every change, from the monitor's own thread (or,
  // for the manual monitor, the thread that sets the status), outside any lock of the monitor.
  // Removing an observer does not wait for a call already under way: observers hold what they
  // touch weakly.
  virtual ObserverId addObserver(Observer observer) = 0;
  virtual void removeObserver(ObserverId id) = 0;

  // The process-wide monitor of the real network (a LinuxNetworkMonitor), made on first use.
  static std::shared_ptr<NetworkMonitor> system();
};

}  // namespace ml::net
