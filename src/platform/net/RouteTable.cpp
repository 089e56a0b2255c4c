#include "platform/net/RouteTable.h"

#include <net/if.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace ml::net {

namespace {

constexpr unsigned long kRouteUp = 0x0001;      // RTF_UP
constexpr unsigned long kRouteReject = 0x0200;  // RTF_REJECT
constexpr std::size_t kMaxTableBytes = 4 * 1024 * 1024;

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

bool parseHex(std::string_view text, unsigned long& value) {
  if (text.empty()) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return error == std::errc() && end == text.data() + text.size();
}

bool allZeroHex(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c == '0'; });
}

// A name usable as one path component under /sys/class/net.
bool isPlainName(std::string_view name) {
  return !name.empty() && name.size() < IFNAMSIZ && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

template <class Visit>
void forEachLine(std::string_view table, Visit visit) {
  std::size_t start = 0;
  while (start < table.size()) {
    std::size_t end = table.find('\n', start);
    if (end == std::string_view::npos) end = table.size();
    visit(table.substr(start, end - start));
    start = end + 1;
  }
}

void addUnique(std::vector<std::string>& names, std::string_view name) {
  if (!isPlainName(name) || name == "lo") return;
  if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
}

std::string readSmallFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text;
  char buffer[4096];
  while (in && text.size() < kMaxTableBytes) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  return text;
}

}  // namespace

std::vector<std::string> RouteTable::ipv4DefaultRouteInterfaces(std::string_view table) {
  // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT
  std::vector<std::string> names;
  forEachLine(table, [&](std::string_view line) {
    auto f = fields(line);
    if (f.size() < 8) return;
    unsigned long flags = 0;
    if (!allZeroHex(f[1]) || !allZeroHex(f[7]) || !parseHex(f[3], flags)) return;  // also skips the heading
    if (!(flags & kRouteUp) || (flags & kRouteReject)) return;
    addUnique(names, f[0]);
  });
  return names;
}

std::vector<std::string> RouteTable::ipv6DefaultRouteInterfaces(std::string_view table) {
  // dest dest_len src src_len next_hop metric refcnt use flags iface
  std::vector<std::string> names;
  forEachLine(table, [&](std::string_view line) {
    auto f = fields(line);
    if (f.size() < 10) return;
    unsigned long prefixLength = 1;
    unsigned long flags = 0;
    if (f[0].size() != 32 || !allZeroHex(f[0]) || !parseHex(f[1], prefixLength) || prefixLength != 0) return;
    if (!parseHex(f[8], flags) || !(flags & kRouteUp) || (flags & kRouteReject)) return;
    addUnique(names, f[9]);
  });
  return names;
}

bool RouteTable::isInterfaceUp(const std::filesystem::path& interfaces, std::string_view name) {
  if (!isPlainName(name)) return false;
  std::filesystem::path folder = interfaces / std::string(name);
  std::string flagsText = readSmallFile(folder / "flags");
  std::string_view trimmed = flagsText;
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == ' ')) trimmed.remove_suffix(1);
  if (trimmed.substr(0, 2) == "0x") trimmed.remove_prefix(2);
  unsigned long flags = 0;
  if (!parseHex(trimmed, flags) || !(flags & IFF_UP)) return false;
  std::string state = readSmallFile(folder / "operstate");
  while (!state.empty() && (state.back() == '\n' || state.back() == ' ')) state.pop_back();
  // "unknown" is what many virtual and point-to-point links report while working.
  return state != "down" && state != "lowerlayerdown" && state != "notpresent";
}

NetworkStatus RouteTable::evaluate(const RouteTableSources& sources) {
  auto candidates = ipv4DefaultRouteInterfaces(readSmallFile(sources.ipv4Routes));
  for (const auto& name : ipv6DefaultRouteInterfaces(readSmallFile(sources.ipv6Routes))) addUnique(candidates, name);
  for (const auto& name : candidates) {
    if (isInterfaceUp(sources.interfaces, name)) return NetworkStatus::reachable;
  }
  return NetworkStatus::notReachable;
}

}  // namespace ml::net
