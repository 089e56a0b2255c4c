#pragma once
// (Kept with this suite until another suite needs it; then it belongs in tests/support.)
// Captures the telemetry logger's lines for a test: installs a handler that records every line
// (whatever its level) and restores the logger's defaults when it goes.
#include <mutex>
#include <string>
#include <vector>

#include "beacon/core/TLLogger.h"

namespace ml::test {

struct CapturedLogLine {
  ml::beacon::TLLogLevel level;
  std::string tag;
  std::string message;
};

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<CapturedLogLine> lines() const;
  // Lines at the given level whose message contains `fragment`.
  std::size_t count(ml::beacon::TLLogLevel level, const std::string& fragment = "") const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<CapturedLogLine> lines_;
};

}  // namespace ml::test
