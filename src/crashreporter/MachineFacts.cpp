#include "crashreporter/MachineFacts.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ml::crash {
namespace {

std::optional<std::string> firstLine(const std::filesystem::path& path) {
  std::ifstream in(path);
  if (!in) {
    if (errno == 0) errno = ENOENT;
    return std::nullopt;
  }
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::optional<std::string> MachineFacts::model() {
  auto line = firstLine("/sys/devices/virtual/dmi/id/product_name");
  if (line && line->empty()) {
    errno = ENODATA;
    return std::nullopt;
  }
  return line;
}

std::optional<uint32_t> MachineFacts::physicalProcessorCount() {
  std::error_code ec;
  std::set<std::pair<std::string, std::string>> cores;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/devices/system/cpu", ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() < 4 || name.compare(0, 3, "cpu") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos) {
      continue;
    }
    auto package = firstLine(entry.path() / "topology/physical_package_id");
    auto core = firstLine(entry.path() / "topology/core_id");
    if (package && core) cores.emplace(*package, *core);
  }
  if (ec || cores.empty()) {
    errno = ec ? ec.value() : ENOENT;
    return std::nullopt;
  }
  return static_cast<uint32_t>(cores.size());
}

std::optional<uint32_t> MachineFacts::logicalProcessorCount() {
  long n = ::sysconf(_SC_NPROCESSORS_CONF);
  if (n <= 0) return std::nullopt;
  return static_cast<uint32_t>(n);
}

std::optional<std::string> MachineFacts::executablePath() {
  // The link's length is not known ahead (lstat reports 0 for /proc links): grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < buffer.size()) {
      if (n == 0) {
        errno = ENOENT;
        return std::nullopt;
      }
      return std::string(buffer.data(), static_cast<size_t>(n));
    }
    if (buffer.size() >= (1u << 20)) {
      errno = ENAMETOOLONG;
      return std::nullopt;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> MachineFacts::kernelRelease() {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return std::string(names.release);
}

std::optional<std::string> MachineFacts::kernelBuild() {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return std::string(names.version);
}

}  // namespace ml::crash
