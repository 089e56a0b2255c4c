#include "crashreporter/HostInfo.h"

#include <cerrno>
#include <cstring>

#include "crashreporter/Sysctl.h"
#include "crashreporter/capture/ReporterLog.h"

namespace ml::crash {
namespace {

void emit(const TLCrashHostInfo::LogSink& log, const std::string& line) {
  if (log) log(line);
  else tlcrash_nasync_log("%s", line.c_str());
}

// Scans a decimal integer at `pos`; false (pos unchanged) when there is no digit there or the
// value does not fit 64 bits.
bool scanInteger(std::string_view text, size_t& pos, uint64_t& out) {
  size_t i = pos;
  uint64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (__builtin_mul_overflow(value, 10u, &value) || __builtin_add_overflow(value, static_cast<uint64_t>(text[i] - '0'), &value)) {
      return false;
    }
    ++i;
  }
  if (i == pos) return false;
  pos = i;
  out = value;
  return true;
}

bool scanDot(std::string_view text, size_t& pos) {
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    return true;
  }
  return false;
}

}  // namespace

TLCrashHostInfo TLCrashHostInfo::fromRelease(std::string_view release, const LogSink& log) {
  TLCrashHostInfoVersion version;
  size_t pos = 0;
  bool complete = scanInteger(release, pos, version.major) && scanDot(release, pos) &&
                  scanInteger(release, pos, version.minor) && scanDot(release, pos) &&
                  scanInteger(release, pos, version.revision);
  if (!complete) emit(log, "Unexpected kernel.osrelease string format: " + std::string(release));
  return TLCrashHostInfo(version);
}

std::optional<TLCrashHostInfo> TLCrashHostInfo::currentHostInfo(const LogSink& log) {
  auto release = tlcrash_sysctl_string("kernel.osrelease");
  if (!release) {
    int error = errno;
    emit(log, "Failed to fetch kernel.osrelease value " + std::to_string(error) + ": " + std::strerror(error));
    return std::nullopt;
  }
  return fromRelease(*release, log);
}

}  // namespace ml::crash
