#pragma once
// The application's two log folders inside its log folder, written asynchronously:
//   "full"   debug and above, kept 3 days, only when the "debugLogs" preference is on;
//   "error"  error lines only, kept 14 days, always.
// A folder that cannot be made is reported on stderr (the system log here) and left out; the
// other one is still made. The caller makes sure this runs once per process
// (Log::enable ignores later calls anyway).
#include <filesystem>
#include <vector>

#include "platform/logging/Log.h"

namespace ml::logging {

inline constexpr int kFullLogDaysToKeep = 3;
inline constexpr int kErrorLogDaysToKeep = 14;

// Makes the folders, enables logging with them and returns the configurations enabled.
std::vector<RotatingLogFileConfiguration> setUpApplicationLogging(bool debugLogs,
                                                                  const std::filesystem::path& logFolder,
                                                                  NowSource now = {});

}  // namespace ml::logging
