#include "crashreporter/ProcessInfo.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncString.h"
#include "crashreporter/Sysctl.h"

namespace ml::crash {
namespace {

// The kernel keeps at most 16 bytes of a command name (15 and a terminator).
constexpr size_t kCommandNameMax = 16;

std::optional<std::string> readFile(const std::string& path, int* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = errno != 0 ? errno : ENOENT;
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

template <typename T>
bool parseNumber(std::string_view text, T& out) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && ptr == text.data() + text.size();
}

// Boot time from /proc/stat's "btime" line.
std::optional<int64_t> bootTime() {
  int error = 0;
  auto stat = readFile("/proc/stat", &error);
  if (!stat) return std::nullopt;
  std::istringstream lines(*stat);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("btime ", 0) == 0) {
      int64_t value = 0;
      if (parseNumber(std::string_view(line).substr(6), value)) return value;
    }
  }
  return std::nullopt;
}

bool tracedFromStatus(std::string_view status) {
  constexpr std::string_view kKey = "TracerPid:";
  size_t at = status.find(kKey);
  if (at == std::string_view::npos) return false;
  at += kKey.size();
  while (at < status.size() && (status[at] == ' ' || status[at] == '\t')) ++at;
  size_t end = at;
  while (end < status.size() && status[end] >= '0' && status[end] <= '9') ++end;
  long tracer = 0;
  return parseNumber(status.substr(at, end - at), tracer) && tracer != 0;
}

}  // namespace

std::optional<TLCrashProcessInfo> TLCrashProcessInfo::fromProcText(pid_t pid, std::string_view stat, std::string_view status,
                                                                   int64_t bootTimeSeconds, int64_t ticksPerSecond) {
  // "pid (comm) state ppid ...": the name may itself hold spaces and parentheses, so it runs
  // from the first '(' to the last ')'.
  size_t open = stat.find('(');
  size_t close = stat.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open || ticksPerSecond <= 0) {
    return std::nullopt;
  }
  std::string_view comm = stat.substr(open + 1, close - open - 1);

  // Fields after the name, numbered from 3 (state) as in proc(5); ppid is 4, starttime 22.
  std::vector<std::string_view> fields;
  std::string_view rest = stat.substr(close + 1);
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\n')) ++i;
    size_t start = i;
    while (i < rest.size() && rest[i] != ' ' && rest[i] != '\n') ++i;
    if (i > start) fields.push_back(rest.substr(start, i - start));
  }
  constexpr size_t kParent = 4 - 3, kStartTime = 22 - 3;
  if (fields.size() <= kStartTime) return std::nullopt;

  TLCrashProcessInfo info;
  info.processID_ = pid;
  if (!parseNumber(fields[kParent], info.parentProcessID_)) return std::nullopt;
  uint64_t startTicks = 0;
  if (!parseNumber(fields[kStartTime], startTicks)) return std::nullopt;
  auto ticks = static_cast<uint64_t>(ticksPerSecond);
  info.startTime_.seconds = bootTimeSeconds + static_cast<int64_t>(startTicks / ticks);
  info.startTime_.microseconds = static_cast<int32_t>((startTicks % ticks) * 1000000 / ticks);
  info.traced_ = tracedFromStatus(status);

  size_t length = comm.size() < kCommandNameMax ? comm.size() : kCommandNameMax;
  size_t valid = tlcrash_sysctl_valid_utf8_bytes_max(reinterpret_cast<const uint8_t*>(comm.data()), length);
  if (valid > 0) {
    info.processName_ = std::string(comm.substr(0, valid));
  } else {
    TLCRASH_DIAG("Failed to decode p_comm for pid=%jd as UTF-8!", static_cast<intmax_t>(pid));
  }
  return info;
}

std::optional<TLCrashProcessInfo> TLCrashProcessInfo::forProcessID(pid_t pid) {
  std::string base = "/proc/" + std::to_string(pid);
  int error = 0;
  auto stat = readFile(base + "/stat", &error);
  if (!stat) {
    if (error != ENOENT && error != ESRCH) {
      TLCRASH_DIAG("Unexpected error reading the process record %d: %s", error, tlcrash_async_errno_text(error));
    }
    return std::nullopt;
  }
  auto status = readFile(base + "/status", &error).value_or("");
  auto boot = bootTime();
  long ticks = ::sysconf(_SC_CLK_TCK);
  if (!boot || ticks <= 0) return std::nullopt;
  return fromProcText(pid, *stat, status, *boot, ticks);
}

std::optional<TLCrashProcessInfo> TLCrashProcessInfo::currentProcessInfo() { return forProcessID(::getpid()); }

}  // namespace ml::crash
