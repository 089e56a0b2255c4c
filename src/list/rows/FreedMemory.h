#pragma once
// Handing memory that a large list freed back to the system. The allocator keeps freed blocks
// for reuse, in one pool per thread that allocated them; after a list of many rows (built on its
// store's thread, shown and freed on the main thread) those pools hold hundreds of megabytes that
// no list will use again, so the process would stay as large as its largest list. Any thread.
#include <cstddef>

namespace ml::list {

// How many rows make a list large enough to hand its memory back when it goes: below this the
// allocator's reuse is worth more than the pages.
inline constexpr std::size_t kManyRows = 10000;

// Returns the free pages of every allocator pool to the system. Takes a few milliseconds for a
// heap of a gigabyte; does nothing where the allocator cannot.
void releaseFreedMemory();

}  // namespace ml::list
