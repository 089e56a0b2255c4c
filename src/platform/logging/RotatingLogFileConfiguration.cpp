#include "platform/logging/RotatingLogFileConfiguration.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/logging/ErrnoText.h"

namespace ml::logging {

RotatingLogFileConfiguration::RotatingLogFileConfiguration(LogSeverity minimum, int daysToKeep,
                                                           std::filesystem::path directory,
                                                           bool synchronousMode)
    : minimum_(minimum),
      daysToKeep_(std::max(daysToKeep, 1)),
      directory_(std::move(directory)),
      synchronousMode_(synchronousMode) {}

std::string LogDirectoryError::description() const {
  return "NSPOSIXErrorDomain(" + std::to_string(code) + "): " + message;
}

std::optional<LogDirectoryError> RotatingLogFileConfiguration::createLogDirectory() const {
  auto failure = [this](int code) {
    return LogDirectoryError{code, "create " + directory_.string() + ": " + errnoText(code)};
  };
  std::error_code ec;
  std::filesystem::create_directories(directory_, ec);
  if (ec) return failure(ec.value());
  // create_directories succeeds quietly when a non-directory already sits at the path's end.
  if (!std::filesystem::is_directory(directory_, ec)) return failure(ENOTDIR);
  return std::nullopt;
}

}  // namespace ml::logging
