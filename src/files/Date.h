#pragma once
#include <chrono>

namespace ml::files {
// A point in time, nanosecond resolution (file dates keep their nanoseconds).
using Date = std::chrono::system_clock::time_point;
}  // namespace ml::files
