#pragma once
// A memory window whose bytes are readable in this process with plain loads: a section of a
// loaded image read in place, or a test or fuzz buffer shown at a pretend target address.
// Satisfies MemoryReader. The window borrows the bytes; the owner keeps them alive and mapped
// for the window's life.
//
// Async-signal-safe: reads are bounds checks and byte copies. Use it at crash time only for memory
// known to be mapped; anything else goes through TaskMemoryWindow.
#include <cstddef>
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

class LocalMemoryWindow {
 public:
  // `length` bytes at `local`, shown at target address `target_base` of `task`.
  LocalMemoryWindow(const void* local, uint64_t target_base, uint64_t length,
                    tlcrash_task_t task = tlcrash_async_task_self())
      : local_(static_cast<const uint8_t*>(local)), base_(target_base), length_(length), task_(task) {}

  // Memory of this process shown at its own addresses.
  static LocalMemoryWindow ofLocal(const void* local, uint64_t length) {
    return LocalMemoryWindow(local, reinterpret_cast<uintptr_t>(local), length);
  }

  uint64_t base_address() const { return base_; }
  uint64_t length() const { return length_; }
  tlcrash_task_t task() const { return task_; }

  tlcrash_error_t read(uint64_t address, int64_t offset, void* destination, size_t length);

  // Local pointer to [address + offset, + length) of the window, or null when it is not wholly inside.
  const uint8_t* remap(uint64_t address, int64_t offset, uint64_t length) const;

 private:
  const uint8_t* local_;
  uint64_t base_;
  uint64_t length_;
  tlcrash_task_t task_;
};

}  // namespace ml::crash
