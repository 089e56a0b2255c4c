// The compact unwind frame reader, first of the chain: the pc's function in its image's
// __TEXT,__unwind_info, its encoding decoded and applied. Functions described by DWARF, and
// images without the section, are left to the next readers.
//
// As in the DWARF reader, a caller frame's pc is a return address and is looked up at pc - 1,
// so that a call ending its function is attributed to that function.
//
// Crash time: async-signal-safe; the image list is counted in for the whole step and the section
// is read through TaskMemoryWindow.
#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/unwind/CompactUnwindEntry.h"
#include "crashreporter/unwind/CompactUnwindReader.h"
#include "crashreporter/unwind/FrameCursor.h"
#include "crashreporter/unwind/TaskMemoryWindow.h"

namespace ml::crash {

// Crash time.
tlframe_error_t tlframe_cursor_read_compact_unwind(tlcrash_task_t task, UnwindImageLookup* images,
                                                   const tlcrash_async_thread_state_t* current,
                                                   const tlcrash_async_thread_state_t* previous,
                                                   tlcrash_async_thread_state_t* next) {
  if (!tlcrash_async_thread_state_has_reg(current, TLCRASH_REG_IP)) {
    TLCRASH_DIAG("Frame is missing a valid IP register, skipping compact unwind encoding");
    return TLFRAME_EBADFRAME;
  }
  const uint64_t pc = tlcrash_async_thread_state_get_reg(current, TLCRASH_REG_IP);
  const uint64_t lookup_pc = previous != nullptr && pc > 0 ? pc - 1 : pc;

  UnwindImageReading reading(images);
  tlcrash_unwind_image_t image;
  if (!images->imageContaining(lookup_pc, &image)) {
    TLCRASH_DIAG("Could not find a loaded image for the current frame pc: 0x%llx", static_cast<unsigned long long>(lookup_pc));
    return TLFRAME_ENOTSUP;
  }
  if (!image.compact_unwind.present()) return TLFRAME_ENOTSUP;

  TaskMemoryWindow section(task, image.compact_unwind.address, image.compact_unwind.length);
  tlcrash_async_cfe_reader_t<TaskMemoryWindow> reader;
  tlcrash_error_t err = tlcrash_async_cfe_reader_init(&reader, &section, image.cpu_type);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Could not parse the compact unwind info section for image '%s': %d", image.name, err);
    return TLFRAME_EINVAL;
  }

  // The section's offsets are relative to the image header; a pc below it is in no function.
  if (lookup_pc < image.header_address) return TLFRAME_ENOTSUP;
  uint64_t function_base;
  uint32_t encoding;
  err = tlcrash_async_cfe_reader_find_pc(&reader, lookup_pc - image.header_address, &function_base, &encoding);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Did not find CFE entry for PC 0x%llx: %d", static_cast<unsigned long long>(pc), err);
    return TLFRAME_ENOTSUP;
  }

  tlcrash_async_cfe_entry_t entry;
  err = tlcrash_async_cfe_entry_init(&entry, image.cpu_type, encoding);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Could not decode CFE encoding 0x%x for PC 0x%llx: %d", encoding, static_cast<unsigned long long>(pc), err);
    return TLFRAME_ENOTSUP;
  }
  if (entry.type == TLCRASH_ASYNC_CFE_TYPE_NONE) return TLFRAME_ENOFRAME;

  uint64_t function_address;
  if (__builtin_add_overflow(image.header_address, function_base, &function_address)) {
    TLCRASH_DIAG("The provided function base (0x%llx) plus header address (0x%llx) will overflow tl_vm_address_t",
                 static_cast<unsigned long long>(function_base), static_cast<unsigned long long>(image.header_address));
    return TLFRAME_EINVAL;
  }

  err = tlcrash_async_cfe_entry_apply(task, function_address, current, &entry, next);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to apply CFE encoding 0x%x for PC 0x%llx: %d", encoding, static_cast<unsigned long long>(pc), err);
    return TLFRAME_ENOFRAME;
  }
  return TLFRAME_ESUCCESS;
}

}  // namespace ml::crash
