#pragma once
// A folder of log files rotated daily: one file per local day named "YYYY-MM-DD.log", holding the
// lines of `minimum` severity and above. Files whose day lies `daysToKeep` or more days before
// the current day are removed when logging is enabled and whenever the day changes; other files
// in the folder are never touched. In synchronous mode a log call returns only once its line has
// been written; otherwise it returns at once and the writer thread writes it.
#include <filesystem>

#include "platform/foundation/Result.h"
#include "platform/logging/LogSeverity.h"

namespace ml::logging {

class RotatingLogFileConfiguration {
 public:
  RotatingLogFileConfiguration(LogSeverity minimum, int daysToKeep, std::filesystem::path directory,
                               bool synchronousMode);

  LogSeverity minimumSeverity() const { return minimum_; }
  // At least 1: the current day's file is always kept.
  int daysToKeep() const { return daysToKeep_; }
  const std::filesystem::path& directory() const { return directory_; }
  bool synchronousMode() const { return synchronousMode_; }

  // Creates the folder and its parents (existing ones are fine); the POSIX error otherwise.
  foundation::Status createLogDirectory() const;

 private:
  LogSeverity minimum_;
  int daysToKeep_;
  std::filesystem::path directory_;
  bool synchronousMode_;
};

}  // namespace ml::logging
