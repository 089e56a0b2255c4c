#pragma once
// The short size text of a byte count, as the windows show it: "0.5 KB", "1.5 MB", "1024 GB".
// There is no byte unit: counts under 1024 bytes show as a fraction of a KB, and GB is the
// largest unit (a petabyte shows as "1048576 GB").
#include <cstdint>
#include <string>

namespace ml::files {

// The count in KB, MB or GB (1024-based) with at most two fraction digits rounded half up,
// written in the ICU default locale (its decimal separator, no grouping), one space, the unit.
// Trailing fraction zeros and a separator with no digit after it are dropped. A negative
// count (a size that is unknown) gives its value too; one that rounds to zero shows as "0 KB".
// Any thread.
std::string toSizeRepresentation(int64_t bytes);

}  // namespace ml::files
