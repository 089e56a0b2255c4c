#pragma once
// Handing memory a large search freed back to the system. The allocator keeps freed blocks for
// reuse, in one pool per thread that allocated them; a search's results are made by the walk's
// threads and freed elsewhere, so after a large search those pools hold memory no search will
// use soon. Any thread.
#include <cstddef>

namespace ml::find {

// How many results make a search large enough to hand its memory back when they go.
inline constexpr std::size_t kManyResults = 10000;

// Returns the free pages of every allocator pool to the system; does nothing where the
// allocator cannot.
void releaseFreedMemory();

// The same, a moment from now on the global pool: for memory that the store frees only once it
// has published the state after the current event.
void releaseFreedMemorySoon();

}  // namespace ml::find
