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
#endif
}

}  // namespace ml::foundation
