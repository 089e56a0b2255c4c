#include "platform/foundation/FreedMemory.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ml::foundation {

void releaseFreedMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

void limitRetainedMemory() {
#if defined(__GLIBC__)
  constexpr int kThreshold = 1 << 20;  // bytes
  ::mallopt(M_TRIM_THRESHOLD, kThreshold);
  ::mallopt(M_MMAP_THRESHOLD, kThreshold);
  // A trim gives back the free pages inside every pool but the free top of the main one only, and
  // each thread pool keeps its top between large pieces of work: with a pool per worker thread
  // (up to eight per core) every large list or search left tops of megabytes in pools of threads
  // that later work did not reuse. Threads share a few pools instead; four kept rows built by six
  // threads as fast as a pool each.
  constexpr int kPools = 4;
  ::mallopt(M_ARENA_MAX, kPools);
#endif
}

}  // namespace ml::foundation
