#include "platform/foundation/ApplicationLogging.h"

#include "platform/foundation/AppFolders.h"

namespace ml::foundation {

std::vector<logging::RotatingLogFileConfiguration> setUpApplicationLogging(bool debugLogs) {
  return logging::setUpApplicationLogging(debugLogs, AppFolders::logs());
}

}  // namespace ml::foundation
