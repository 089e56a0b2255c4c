#pragma once
// The file side of one RotatingLogFileConfiguration: appends formatted lines to the current day's
// file, switches files when the day changes and removes expired day files.
//
// Thread affinity: used by the log writer thread only (and by enable() before that thread starts).
// Failures never throw: an unwritable folder is reported once per day on stderr and its lines are
// dropped, so logging can never take the application down.
#include <optional>
#include <string>

#include "platform/logging/LocalDay.h"
#include "platform/logging/RotatingLogFileConfiguration.h"

namespace ml::logging {

class RotatingLogFile {
 public:
  explicit RotatingLogFile(RotatingLogFileConfiguration configuration);
  ~RotatingLogFile();
  RotatingLogFile(const RotatingLogFile&) = delete;
  RotatingLogFile& operator=(const RotatingLogFile&) = delete;

  const RotatingLogFileConfiguration& configuration() const { return configuration_; }
  bool accepts(LogSeverity severity) const {
    return logging::accepts(configuration_.minimumSeverity(), severity);
  }

  // Appends `lines` (whole lines) to the file of `day`, rotating first when the day changed.
  void append(const LocalDay& day, std::string_view lines);
  // Removes the day files that have expired as of `today`; returns how many were removed.
  int removeExpired(const LocalDay& today);

 private:
  bool open(const LocalDay& day);
  void close();

  RotatingLogFileConfiguration configuration_;
  int fd_ = -1;
  std::optional<LocalDay> openDay_;
  std::optional<LocalDay> lastRetentionDay_;
  std::optional<LocalDay> lastReportedFailureDay_;
};

}  // namespace ml::logging
