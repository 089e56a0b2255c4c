#pragma once
// A folder of log files rotated daily: one file per local day named "YYYY-MM-DD.log", holding the
// lines of `minimum` severity and above. Files whose day lies `daysToKeep` or more days before
// the current day are removed when logging is enabled and whenever the day changes; other files
// in the folder are never touched. In synchronous mode a log call returns only once its line has
// been written; otherwise it returns at once and the writer thread writes it.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/logging/LogSeverity.h"

namespace ml::logging {

// Why a log folder could not be made: the errno value and what failed with its errno text
// ("create /x/logs: Not a directory"). Logging sits below the error type of foundation, so it
// words the failure itself, the same way ("NSPOSIXErrorDomain(20): create ...").
struct LogDirectoryError {
  int code = 0;
  std::string message;

  std::string description() const;
};

class RotatingLogFileConfiguration {
 public:
  RotatingLogFileConfiguration(LogSeverity minimum, int daysToKeep, std::filesystem::path directory,
                               bool synchronousMode);

  LogSeverity minimumSeverity() const { return minimum_; }
  // At least 1: the current day's file is always kept.
  int daysToKeep() const { return daysToKeep_; }
  const std::filesystem::path& directory() const { return directory_; }
  bool synchronousMode() const { return synchronousMode_; }

  // Creates the folder and its parents (existing ones are fine): nullopt, else the POSIX error.
  std::optional<LogDirectoryError> createLogDirectory() const;

 private:
  LogSeverity minimum_;
  int daysToKeep_;
  std::filesystem::path directory_;
  bool synchronousMode_;
};

}  // namespace ml::logging
