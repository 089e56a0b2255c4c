#pragma once
// The mode every crash report file is created with: a report holds register values and stack
// words, so only its owner may read it (as the log store's files).
#include <sys/types.h>

namespace ml::crash {

inline constexpr mode_t kReportFileMode = 0600;

}  // namespace ml::crash
