#pragma once
// The running kernel's version, read when the reporter is enabled (never at crash time).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ml::crash {

struct TLCrashHostInfoVersion {
  uint64_t major = 0;
  uint64_t minor = 0;
  uint64_t revision = 0;

  bool operator==(const TLCrashHostInfoVersion&) const = default;
};

class TLCrashHostInfo {
 public:
  // Receives the warnings of the release parser; the default goes to the system log.
  using LogSink = std::function<void(const std::string&)>;

  // The host's facts, or nullopt when the kernel release cannot be read (logged).
  static std::optional<TLCrashHostInfo> currentHostInfo(const LogSink& log = {});
  // Parses a release text "major.minor.revision[anything]"; parts that cannot be scanned stay 0
  // and the text is reported through `log` as an unexpected format.
  static TLCrashHostInfo fromRelease(std::string_view release, const LogSink& log = {});

  // The kernel version (the version of the Darwin kernel on the original platform).
  const TLCrashHostInfoVersion& kernelVersion() const { return version_; }

 private:
  explicit TLCrashHostInfo(TLCrashHostInfoVersion version) : version_(version) {}
  TLCrashHostInfoVersion version_;
};

}  // namespace ml::crash
