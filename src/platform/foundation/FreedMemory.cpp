#include "platform/foundation/FreedMemory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ml::foundation {

void releaseFreedMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

}  // namespace ml::foundation
