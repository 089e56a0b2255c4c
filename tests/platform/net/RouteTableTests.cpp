#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/net/LinuxNetworkMonitor.h"
#include "platform/net/ManualNetworkMonitor.h"
#include "platform/net/RouteTable.h"
#include "support/TempDir.h"

namespace ml::net {
namespace {

constexpr std::string_view kIpv4Heading =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
constexpr std::string_view kIpv4Default = "eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
constexpr std::string_view kIpv4Subnet = "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
constexpr std::string_view kIpv6Default =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 fd000000000000000000000000000001 "
    "00000400 00000002 00000000 00000003     wlan0\n";
constexpr std::string_view kIpv6LoopbackReject =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 00000000000000000000000000000000 "
    "ffffffff 00000001 00000000 00200200       lo\n";

// A fixture tree standing for /proc/net and /sys/class/net.
struct Tables {
  test::TempDir dir;
  RouteTableSources sources() const {
    return {dir.path() / "route", dir.path() / "ipv6_route", dir.path() / "net"};
  }
  void interface(const std::string& name, const std::string& flags, const std::string& state) const {
    dir.write("net/" + name + "/flags", flags + "\n");
    dir.write("net/" + name + "/operstate", state + "\n");
  }
};

TEST(RouteTable, FindsUsableIpv4DefaultRoutesOnly) {
  EXPECT_EQ(RouteTable::ipv4DefaultRouteInterfaces(std::string(kIpv4Heading) + std::string(kIpv4Default) +
                                                   std::string(kIpv4Subnet)),
            std::vector<std::string>{"eth0"});
  // Down, rejecting, loopback and malformed lines do not count.
  EXPECT_TRUE(RouteTable::ipv4DefaultRouteInterfaces("eth1\t00000000\t0\t0002\t0\t0\t0\t00000000\n"
                                                     "eth2\t00000000\t0\t0201\t0\t0\t0\t00000000\n"
                                                     "lo\t00000000\t0\t0001\t0\t0\t0\t00000000\n"
                                                     "eth3\t00000000\t0\tzz\t0\t0\t0\t00000000\n"
                                                     "../x\t00000000\t0\t0001\t0\t0\t0\t00000000\n"
                                                     "short line\n")
                  .empty());
}

TEST(RouteTable, FindsIpv6DefaultRoutesAndSkipsRejectRoutes) {
  EXPECT_EQ(RouteTable::ipv6DefaultRouteInterfaces(std::string(kIpv6Default) + std::string(kIpv6LoopbackReject)),
            std::vector<std::string>{"wlan0"});
  EXPECT_TRUE(RouteTable::ipv6DefaultRouteInterfaces(kIpv6LoopbackReject).empty());
}

TEST(RouteTable, ReachableNeedsADefaultRouteThroughAnInterfaceThatIsUp) {
  Tables tables;
  tables.dir.write("route", std::string(kIpv4Heading) + std::string(kIpv4Default));
  tables.dir.write("ipv6_route", std::string(kIpv6LoopbackReject));
  tables.interface("eth0", "0x1003", "up");
  EXPECT_EQ(RouteTable::evaluate(tables.sources()), NetworkStatus::reachable);

  tables.interface("eth0", "0x1002", "up");  // administratively down
  EXPECT_EQ(RouteTable::evaluate(tables.sources()), NetworkStatus::notReachable);
  tables.interface("eth0", "0x1003", "lowerlayerdown");  // cable out
  EXPECT_EQ(RouteTable::evaluate(tables.sources()), NetworkStatus::notReachable);
  tables.interface("eth0", "0x1003", "unknown");  // tunnels and the like report this while working
  EXPECT_EQ(RouteTable::evaluate(tables.sources()), NetworkStatus::reachable);
}

TEST(RouteTable, MissingTablesReadAsNotReachable) {
  Tables tables;
  EXPECT_EQ(RouteTable::evaluate(tables.sources()), NetworkStatus::notReachable);
}

TEST(ManualNetworkMonitor, TellsObserversOfChangesOnly) {
  ManualNetworkMonitor monitor(NetworkStatus::reachable);
  std::vector<NetworkStatus> seen;
  auto id = monitor.addObserver([&](NetworkStatus status) { seen.push_back(status); });
  monitor.setStatus(NetworkStatus::reachable);
  monitor.setStatus(NetworkStatus::notReachable);
  monitor.setStatus(NetworkStatus::reachable);
  monitor.removeObserver(id);
  monitor.setStatus(NetworkStatus::notReachable);
  EXPECT_EQ(seen, (std::vector<NetworkStatus>{NetworkStatus::notReachable, NetworkStatus::reachable}));
  EXPECT_EQ(monitor.currentStatus(), NetworkStatus::notReachable);
}

TEST(LinuxNetworkMonitor, AnnouncesWhenTheRoutesChange) {
  Tables tables;
  tables.dir.write("route", std::string(kIpv4Heading));
  tables.interface("eth0", "0x1003", "up");
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<NetworkStatus> seen;
  // Fixture files raise no netlink events, so the re-check interval finds the change.
  LinuxNetworkMonitor monitor(tables.sources(), std::chrono::milliseconds(10));
  EXPECT_EQ(monitor.currentStatus(), NetworkStatus::notReachable);

  monitor.addObserver([&](NetworkStatus status) {
    std::lock_guard guard(mutex);
    seen.push_back(status);
    changed.notify_all();
  });
  tables.dir.write("route", std::string(kIpv4Heading) + std::string(kIpv4Default));
  std::unique_lock lock(mutex);
  ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return !seen.empty(); }));
  EXPECT_EQ(seen.front(), NetworkStatus::reachable);
  EXPECT_EQ(monitor.currentStatus(), NetworkStatus::reachable);
}

}  // namespace
}  // namespace ml::net
