#pragma once
// The ELF image reader: what the crash reporter needs of one ELF image loaded in a task (the load
// bias, the span of its code, its build-id, its unwind search table and its dynamic symbol
// table), read from the program headers in the task's memory.
//
// tlcrash_async_elf_init is async-signal-safe (task reads only, no allocation, no locks), so an
// image found at crash time (in the loader's link-map chain) can be parsed on the spot; the name
// is borrowed and must outlive the record.
#include <cstdint>

#include "crashreporter/AsyncError.h"
#include "crashreporter/AsyncMemory.h"

namespace ml::crash {

struct tlcrash_async_elf {
  tlcrash_task_t task = 0;
  uint64_t header_addr = 0;     // address of the ELF header (start of the first loadable segment)
  int64_t bias = 0;             // run-time address minus link-time address
  const char* name = nullptr;   // borrowed path ("" when unknown)
  uint64_t text_size = 0;       // from the header to the end of the last executable segment
  uint16_t machine = 0;         // e_machine
  bool has_uuid = false;
  uint8_t uuid[16] = {};        // the first 16 bytes of the GNU build-id, zero-padded
  uint64_t dynamic_addr = 0;    // PT_DYNAMIC (0 when absent)
  uint64_t dynamic_size = 0;
  uint64_t eh_frame_hdr_addr = 0;  // PT_GNU_EH_FRAME, the unwinder's search table (0 when absent)
  uint64_t eh_frame_hdr_size = 0;
  // Dynamic symbol table (0 when absent): addresses in the task.
  uint64_t dynsym_addr = 0;
  uint64_t dynsym_count = 0;
  uint64_t dynsym_entsize = 0;
  uint64_t dynstr_addr = 0;
  uint64_t dynstr_size = 0;
};

// Parses the image whose ELF header lies at `header_address`. 0; the read's status when the
// header cannot be read; TLCRASH_EINVAL when it is not a 64-bit little-endian ELF image with its
// header inside a loadable segment. Tables that are damaged are left out (their fields stay 0)
// rather than failing the image. Async-signal-safe.
tlcrash_error_t tlcrash_async_elf_init(tlcrash_async_elf* image, tlcrash_task_t task, const char* name,
                                       uint64_t header_address);

// header_addr <= address < header_addr + text_size. Async-signal-safe.
bool tlcrash_async_elf_contains_address(const tlcrash_async_elf* image, uint64_t address);

// The image's CPU in the crash report's (Mach) numbering: x86_64 0x1000007/3, x86 7/3,
// arm64 0x100000C/0, anything else 0/0.
uint32_t tlcrash_async_elf_cpu_type(const tlcrash_async_elf* image);
uint32_t tlcrash_async_elf_cpu_subtype(const tlcrash_async_elf* image);

}  // namespace ml::crash
