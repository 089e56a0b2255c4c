#pragma once
// When a list hands the memory of its rows back to the system as it goes.
#include <cstddef>

#include "platform/foundation/FreedMemory.h"

namespace ml::list {

// How many rows make a list large enough to hand its memory back when it goes: below this the
// allocator's reuse is worth more than the pages.
inline constexpr std::size_t kManyRows = 10000;

using foundation::releaseFreedMemory;

}  // namespace ml::list
