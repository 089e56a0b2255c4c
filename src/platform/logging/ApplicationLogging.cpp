#include "platform/logging/ApplicationLogging.h"

#include <cstdio>

namespace ml::logging {

namespace {

// Creates the folder and adds the configuration, or reports why not on stderr.
void addIfCreated(std::vector<RotatingLogFileConfiguration>& list, RotatingLogFileConfiguration configuration) {
  if (auto failure = configuration.createLogDirectory()) {
    std::fprintf(stderr, "[ERROR] unable to create log directories. %s\n", failure->description().c_str());
    return;
  }
  list.push_back(std::move(configuration));
}

}  // namespace

std::vector<RotatingLogFileConfiguration> setUpApplicationLogging(bool debugLogs,
                                                                  const std::filesystem::path& logFolder,
                                                                  NowSource now) {
  std::vector<RotatingLogFileConfiguration> configurations;
  if (debugLogs) {
    std::fprintf(stderr, "Debug logs are enabled. Setting up log directory...\n");
    addIfCreated(configurations,
                 RotatingLogFileConfiguration(LogSeverity::debug, kFullLogDaysToKeep, logFolder / "full", false));
  }
  // The error log does not depend on the debug one: a "full" folder that cannot be made must not
  // cost the application its error log.
  addIfCreated(configurations,
               RotatingLogFileConfiguration(LogSeverity::error, kErrorLogDaysToKeep, logFolder / "error", false));
  Log::enable(configurations, std::move(now));
  return configurations;
}

}  // namespace ml::logging
