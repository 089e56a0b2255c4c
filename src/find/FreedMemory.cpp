#include "find/FreedMemory.h"

#include <chrono>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/GlobalPool.h"

namespace ml::find {

void releaseFreedMemorySoon() {
  dispatch::Clock::system().schedule(std::chrono::milliseconds(500), [] {
    dispatch::GlobalPool::shared().async(releaseFreedMemory);
  });
}

}  // namespace ml::find
