#pragma once
// Sets up the application's logging in AppFolders::logs(): "full" (debug, 3 days) when
// `debugLogs` is on, and "error" (errors, 14 days). See logging/ApplicationLogging.h.
#include <vector>

#include "platform/logging/ApplicationLogging.h"

namespace ml::foundation {

std::vector<logging::RotatingLogFileConfiguration> setUpApplicationLogging(bool debugLogs);

}  // namespace ml::foundation
