#include "platform/darwin/Volumes.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <fstream>
#include <sstream>

namespace ml::darwin {

namespace {

// mountinfo and udev escape spaces and other bytes as \ooo (octal) and \xhh respectively.
std::string unescape(std::string_view text) {
  auto octal = [](char c) { return c >= '0' && c <= '7'; };
  auto hexValue = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const char a = text[i + 1], b = text[i + 2], c = text[i + 3];
      if (octal(a) && octal(b) && octal(c)) {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
      if (a == 'x' && hexValue(b) >= 0 && hexValue(c) >= 0) {
        out.push_back(static_cast<char>(hexValue(b) * 16 + hexValue(c)));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

}  // namespace

bool isPseudoFileSystem(std::string_view type) {
  static constexpr std::array<std::string_view, 22> kPseudo = {
      "proc",     "sysfs",  "devpts",     "cgroup",     "cgroup2",   "securityfs",
      "debugfs",  "tracefs", "pstore",    "bpf",        "mqueue",    "hugetlbfs",
      "configfs", "fusectl", "autofs",    "binfmt_misc", "nsfs",     "rpc_pipefs",
      "efivarfs", "devtmpfs", "selinuxfs", "ramfs"};
  for (auto p : kPseudo)
    if (p == type) return true;
  return false;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const auto f = fields(text.substr(pos, end - pos));
    pos = end + 1;
    // id parent major:minor root mountpoint options [optional...] - type source superoptions
    if (f.size() < 10) continue;
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 2 >= f.size()) continue;
    MountEntry e;
    const auto colon = f[2].find(':');
    if (colon == std::string_view::npos) continue;
    try {
      e.major = static_cast<unsigned>(std::stoul(std::string(f[2].substr(0, colon))));
      e.minor = static_cast<unsigned>(std::stoul(std::string(f[2].substr(colon + 1))));
    } catch (...) {
      continue;
    }
    e.mountPoint = unescape(f[4]);
    e.fileSystemType = unescape(f[dash + 1]);
    e.source = unescape(f[dash + 2]);
    entries.push_back(std::move(e));
  }
  return entries;
}

std::string volumeNameOf(const MountEntry& entry, const std::filesystem::path& labelsFolder) {
  std::error_code ec;
  if (entry.source.starts_with("/")) {
    const auto device = std::filesystem::weakly_canonical(entry.source, ec);
    for (std::filesystem::directory_iterator it(labelsFolder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code linkError;
      const auto target = std::filesystem::weakly_canonical(it->path(), linkError);
      if (!linkError && target == device) return unescape(it->path().filename().string());
    }
  }
  const std::string last = entry.mountPoint.filename().string();
  if (!last.empty()) return last;
  if (entry.source.starts_with("/")) {
    const std::string device = std::filesystem::path(entry.source).filename().string();
    if (!device.empty()) return device;
  }
  return entry.fileSystemType.empty() ? "/" : entry.fileSystemType;
}

std::filesystem::path resolvedLocation(const std::filesystem::path& item) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(item, ec).lexically_normal();
  if (ec) return item;
  std::string text = absolute.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  absolute = text;
  if (!absolute.has_parent_path() || absolute == absolute.root_path()) return absolute;
  const auto folder = std::filesystem::weakly_canonical(absolute.parent_path(), ec);
  return ec ? absolute : folder / absolute.filename();
}

namespace {

// The mount holding the item itself; of several mounts of its device (bind mounts), the one whose
// point is the longest prefix of the item's location, then the last one mounted.
std::optional<MountEntry> mountOf(const std::filesystem::path& item) {
  struct stat st;
  if (::lstat(item.c_str(), &st) != 0) return std::nullopt;
  std::ifstream in("/proc/self/mountinfo");
  std::stringstream text;
  text << in.rdbuf();
  const auto entries = parseMountInfo(text.str());
  const auto location = resolvedLocation(item).string();
  const MountEntry* best = nullptr;
  size_t bestLength = 0;
  for (const auto& e : entries) {
    if (e.major != major(st.st_dev) || e.minor != minor(st.st_dev)) continue;
    const std::string point = e.mountPoint.string();
    const bool prefix = location == point || point == "/" ||
                        (location.starts_with(point) && location.size() > point.size() && location[point.size()] == '/');
    const size_t length = prefix ? point.size() + 1 : 0;
    if (!best || length >= bestLength) {
      best = &e;
      bestLength = length;
    }
  }
  if (!best || isPseudoFileSystem(best->fileSystemType)) return std::nullopt;
  return *best;
}

}  // namespace

std::optional<std::string> volumeName(const std::filesystem::path& item) {
  const auto mount = mountOf(item);
  if (!mount) return std::nullopt;
  return volumeNameOf(*mount);
}

std::optional<std::filesystem::path> volumeMountPoint(const std::filesystem::path& item) {
  const auto mount = mountOf(item);
  if (!mount) return std::nullopt;
  return mount->mountPoint;
}

}  // namespace ml::darwin
