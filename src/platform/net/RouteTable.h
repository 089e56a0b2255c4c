#pragma once
// Reads the kernel's routing tables to tell whether the machine has a way out: a default route
// (IPv4 0.0.0.0/0 or IPv6 ::/0) that is up, not a reject route, and leaves through an interface
// that is up and is not the loopback. Sources are files, so tests use fixtures. The tables are
// outside data: malformed lines are skipped, interface names that are not plain file names are
// ignored, nothing throws.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/NetworkMonitor.h"

namespace ml::net {

struct RouteTableSources {
  std::filesystem::path ipv4Routes = "/proc/net/route";
  std::filesystem::path ipv6Routes = "/proc/net/ipv6_route";
  std::filesystem::path interfaces = "/sys/class/net";
};

class RouteTable {
 public:
  // Interfaces named by usable default routes of the /proc/net/route text.
  static std::vector<std::string> ipv4DefaultRouteInterfaces(std::string_view table);
  // The same for the /proc/net/ipv6_route text.
  static std::vector<std::string> ipv6DefaultRouteInterfaces(std::string_view table);
  // The interface's flags hold IFF_UP and its operational state is not down.
  static bool isInterfaceUp(const std::filesystem::path& interfaces, std::string_view name);

  static NetworkStatus evaluate(const RouteTableSources& sources);
};

}  // namespace ml::net
