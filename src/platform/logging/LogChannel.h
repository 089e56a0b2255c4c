#pragma once
// One channel per severity. Callers get a channel from Log (null when no enabled configuration
// accepts the severity) and record through it; the call site is captured by the defaulted
// argument. Channels are safe to call from any number of threads at once; with asynchronous
// configurations a call returns without waiting for its line to reach the file.
#include <string_view>

#include "platform/logging/LogSeverity.h"
#include "platform/logging/SourceLocation.h"

namespace ml::logging {

class LogChannel {
 public:
  explicit constexpr LogChannel(LogSeverity severity) : severity_(severity) {}
  LogChannel(const LogChannel&) = delete;
  LogChannel& operator=(const LogChannel&) = delete;

  LogSeverity severity() const { return severity_; }

  // Records `text` with the calling function, file and line.
  void message(std::string_view text, SourceLocation where = SourceLocation::current()) const;
  // Records that the calling function ran (its name, file and line), without a message.
  void trace(SourceLocation where = SourceLocation::current()) const;

 private:
  LogSeverity severity_;
};

}  // namespace ml::logging
