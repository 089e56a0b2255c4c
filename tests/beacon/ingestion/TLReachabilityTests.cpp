#include <gtest/gtest.h>

#include "beacon/core/Ingestion/TLReachability.h"
#include "platform/net/ManualNetworkMonitor.h"

namespace ml::beacon {
namespace {

TEST(TLReachability, StartingTheNotifierPostsOnceAtOnceThenOnEveryChange) {
  auto monitor = std::make_shared<net::ManualNetworkMonitor>(net::NetworkStatus::reachable);
  auto reachability = TLReachability::reachabilityWithMonitor(monitor);
  std::vector<TLNetworkStatus> seen;
  reachability->addObserver([&](TLReachability& sender) { seen.push_back(sender.currentReachabilityStatus()); });
  monitor->setStatus(net::NetworkStatus::notReachable);  // not yet watching
  EXPECT_TRUE(seen.empty());

  monitor->setStatus(net::NetworkStatus::reachable);
  EXPECT_TRUE(reachability->startNotifier());
  EXPECT_TRUE(reachability->startNotifier());  // already watching: nothing posted
  monitor->setStatus(net::NetworkStatus::notReachable);
  EXPECT_EQ(seen, (std::vector<TLNetworkStatus>{TLNetworkStatus::reachable, TLNetworkStatus::notReachable}));

  reachability->stopNotifier();
  EXPECT_EQ(monitor->observerCount(), 0u);
  monitor->setStatus(net::NetworkStatus::reachable);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_FALSE(reachability->connectionRequired());
}

TEST(TLReachability, ReleasingItStopsWatching) {
  auto monitor = std::make_shared<net::ManualNetworkMonitor>();
  {
    auto reachability = TLReachability::reachabilityWithMonitor(monitor);
    reachability->startNotifier();
    EXPECT_EQ(monitor->observerCount(), 1u);
  }
  EXPECT_EQ(monitor->observerCount(), 0u);
  monitor->setStatus(net::NetworkStatus::notReachable);  // no observer left to call
}

}  // namespace
}  // namespace ml::beacon
