#pragma once
// A memory window over a memory object of the image readers (a bounds-checked local copy of a
// range of the task): lets the unwind parsers read a section that an image reader has already
// mapped. Satisfies MemoryReader. Borrows the object; the owner frees it after the window's use.
//
// Async-signal-safe: bounds checks and byte copies.
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/image/MemoryObject.h"

namespace ml::crash {

class MemoryObjectWindow {
 public:
  explicit MemoryObjectWindow(const tlcrash_async_mobject* mobj) : mobj_(mobj) {}

  uint64_t base_address() const { return mobj_->target_address; }
  uint64_t length() const { return mobj_->length; }
  tlcrash_task_t task() const { return mobj_->task; }

  tlcrash_error_t read(uint64_t address, int64_t offset, void* destination, size_t length);

 private:
  const tlcrash_async_mobject* mobj_;
};

}  // namespace ml::crash
