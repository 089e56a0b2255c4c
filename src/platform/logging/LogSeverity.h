#pragma once
// Severities in rising order; a configuration accepts its minimum and everything above it.
#include <optional>
#include <string_view>

namespace ml::logging {

enum class LogSeverity { verbose = 0, debug = 1, info = 2, warning = 3, error = 4 };

inline constexpr int kSeverityCount = 5;

// "verbose", "debug", "info", "warning", "error".
constexpr std::string_view name(LogSeverity severity) {
  switch (severity) {
    case LogSeverity::verbose: return "verbose";
    case LogSeverity::debug: return "debug";
    case LogSeverity::info: return "info";
    case LogSeverity::warning: return "warning";
    case LogSeverity::error: return "error";
  }
  return "unknown";
}

// The fixed-width upper-case tag used in log lines ("ERROR  ", "INFO   ").
constexpr std::string_view tag(LogSeverity severity) {
  switch (severity) {
    case LogSeverity::verbose: return "VERBOSE";
    case LogSeverity::debug: return "DEBUG  ";
    case LogSeverity::info: return "INFO   ";
    case LogSeverity::warning: return "WARNING";
    case LogSeverity::error: return "ERROR  ";
  }
  return "UNKNOWN";
}

constexpr bool accepts(LogSeverity minimum, LogSeverity severity) {
  return static_cast<int>(severity) >= static_cast<int>(minimum);
}

}  // namespace ml::logging
