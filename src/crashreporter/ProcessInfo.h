#pragma once
// Name, parent, start time and traced state of a process, read from /proc when the reporter is
// enabled (never at crash time).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace ml::crash {

struct TLCrashTimeValue {
  int64_t seconds = 0;       // since 1970-01-01 00:00 UTC
  int32_t microseconds = 0;
};

class TLCrashProcessInfo {
 public:
  // The calling process.
  static std::optional<TLCrashProcessInfo> currentProcessInfo();
  // The process `pid`; nullopt when it does not exist or its record cannot be read (a failure
  // other than "no such process" also writes a diagnostic line).
  static std::optional<TLCrashProcessInfo> forProcessID(pid_t pid);

  // Builds the record from the texts of /proc/<pid>/stat and /proc/<pid>/status. `bootTime` is
  // the boot time in seconds since 1970, `ticksPerSecond` the kernel clock rate. nullopt when the
  // stat text is malformed. The command name is cut to its first 16 bytes and then to its valid
  // UTF-8 prefix; an empty result leaves the name unset (with a diagnostic line).
  static std::optional<TLCrashProcessInfo> fromProcText(pid_t pid, std::string_view stat, std::string_view status,
                                                        int64_t bootTime, int64_t ticksPerSecond);

  pid_t processID() const { return processID_; }
  const std::optional<std::string>& processName() const { return processName_; }
  pid_t parentProcessID() const { return parentProcessID_; }
  TLCrashTimeValue startTime() const { return startTime_; }
  bool isTraced() const { return traced_; }

 private:
  TLCrashProcessInfo() = default;

  pid_t processID_ = 0;
  std::optional<std::string> processName_;
  pid_t parentProcessID_ = 0;
  TLCrashTimeValue startTime_;
  bool traced_ = false;
};

}  // namespace ml::crash
