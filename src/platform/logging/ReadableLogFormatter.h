#pragma once
// Formats a record as one readable line, ending in '\n':
//   2026-12-07 08:00:00.123 +0100 | ERROR   | 4242 main | FileSystem.cpp:42 rollback | failed ...
// The time is local with its UTC offset; the call site shows the file's base name, the line and
// the function. Line breaks and other control characters in the message are escaped, so one
// record is always exactly one line.
#include <string>

#include "platform/logging/LogRecord.h"

namespace ml::logging {

class ReadableLogFormatter {
 public:
  static std::string format(const LogRecord& record);
  // "2026-12-07 08:00:00.123 +0100" in the local time zone.
  static std::string timestamp(std::chrono::system_clock::time_point time);
  // The message with '\\', '\n', '\r', '\t' and other control bytes escaped.
  static std::string escape(std::string_view text);
};

}  // namespace ml::logging
