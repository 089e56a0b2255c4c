#pragma once
#include "platform/darwin/FileDate.h"

namespace ml::files {
// A point in time, nanosecond resolution, wide enough for every date a file system keeps (file
// dates keep their nanoseconds; 64-bit nanoseconds would wrap around outside 1677 to 2262).
using Date = darwin::Date;
}  // namespace ml::files
