#pragma once
// When a search hands the memory of its results back to the system: its results are made by the
// walk's threads and freed elsewhere, so after a large search the allocator's pools hold memory no
// search will use soon. Any thread.
#include <cstddef>

#include "platform/foundation/FreedMemory.h"

namespace ml::find {

// How many results make a search large enough to hand its memory back when they go.
inline constexpr std::size_t kManyResults = 10000;

using foundation::releaseFreedMemory;

// releaseFreedMemory, a moment from now on the global pool: for memory that the store frees only once it
// has published the state after the current event.
void releaseFreedMemorySoon();

}  // namespace ml::find
