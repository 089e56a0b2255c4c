#include "platform/logging/RotatingLogFileConfiguration.h"

#include <algorithm>
#include <system_error>

namespace ml::logging {

RotatingLogFileConfiguration::RotatingLogFileConfiguration(LogSeverity minimum, int daysToKeep,
                                                           std::filesystem::path directory,
                                                           bool synchronousMode)
    : minimum_(minimum),
      daysToKeep_(std::max(daysToKeep, 1)),
      directory_(std::move(directory)),
      synchronousMode_(synchronousMode) {}

foundation::Status RotatingLogFileConfiguration::createLogDirectory() const {
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
  if (ec) return foundation::Error::posix(ec.value(), "create " + directory_.string());
  // create_directories succeeds quietly when a non-directory already sits at the path's end.
  if (!std::filesystem::is_directory(directory_, ec))
    return foundation::Error::posix(ENOTDIR, "create " + directory_.string());
  return {};
}

}  // namespace ml::logging
