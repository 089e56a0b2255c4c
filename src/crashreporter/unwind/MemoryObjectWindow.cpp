#include "crashreporter/unwind/MemoryObjectWindow.h"

#include "crashreporter/AsyncString.h"
#include "crashreporter/unwind/MemoryReader.h"

namespace ml::crash {

static_assert(MemoryReader<MemoryObjectWindow>);

// Crash time.
tlcrash_error_t MemoryObjectWindow::read(uint64_t address, int64_t offset, void* destination, size_t length) {
  const void* source = tlcrash_async_mobject_remap_address(mobj_, address, offset, length);
  if (source == nullptr) return TLCRASH_EINVAL;
  tlcrash_async_memcpy(destination, source, length);
  return TLCRASH_ESUCCESS;
}

}  // namespace ml::crash
