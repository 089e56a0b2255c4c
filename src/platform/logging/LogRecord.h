#pragma once
// One recorded log call, captured on the calling thread and handed to the writer.
#include <chrono>
#include <string>

#include "platform/logging/LogSeverity.h"
#include "platform/logging/SourceLocation.h"

namespace ml::logging {

struct LogRecord {
  std::chrono::system_clock::time_point time;
  LogSeverity severity = LogSeverity::info;
  SourceLocation where;
  long threadId = 0;          // kernel thread id (gettid)
  std::string threadName;     // "main" for the process's first thread, else its name if set
  bool isTrace = false;       // a trace records that `where` ran; `text` is empty
  std::string text;
};

}  // namespace ml::logging
