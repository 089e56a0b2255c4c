#include "find/FreedMemory.h"

#include <chrono>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/GlobalPool.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ml::find {

void releaseFreedMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

void releaseFreedMemorySoon() {
  dispatch::Clock::system().schedule(std::chrono::milliseconds(500), [] {
    dispatch::GlobalPool::shared().async(releaseFreedMemory);
  });
}

}  // namespace ml::find
