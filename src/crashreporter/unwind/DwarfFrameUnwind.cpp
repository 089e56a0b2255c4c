// The DWARF frame reader: finds the FDE that covers the frame's pc in its image, runs the CIE's
// and the FDE's instructions up to the pc and applies the resulting row.
//
// For every frame but the first, the pc is a return address: the instruction after a call. The
// call itself is what the frame is executing, and a call can be the last instruction of its
// function (a call to a function that never returns), so both the FDE and the row are looked up
// at pc - 1. The first frame's pc is where the thread stopped and is used as is.
//
// Sections are read through TaskMemoryWindow, so a damaged image cannot fault the crash handler.
// During a capture, the row found for a pc (CIE and evaluated rules) is remembered: the frames of
// many threads run through the same few functions (and a recursion through one), and finding and
// evaluating the row again would read and decode the same tables each time.
// Crash time: async-signal-safe; the image list is counted in for the whole step.
#include <type_traits>

#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncReadCache.h"
#include "crashreporter/unwind/DwarfCfaApply.h"
#include "crashreporter/unwind/DwarfCfaProgram.h"
#include "crashreporter/unwind/DwarfFrameReader.h"
#include "crashreporter/unwind/EhFrameHeader.h"
#include "crashreporter/unwind/FrameCursor.h"
#include "crashreporter/unwind/TaskMemoryWindow.h"

namespace ml::crash {

namespace {

// An image may give only its .eh_frame_hdr (ELF images record no length for .eh_frame). The
// section then starts where the header points and is bounded by what can be read; this cap only
// keeps the window's arithmetic inside the address space.
constexpr uint64_t kEhFrameWithoutLength = UINT64_C(1) << 30;

// The rows of the running capture (64-bit images), direct-mapped by pc; owned by the capture's
// thread (tlcrash_async_read_cache_capture).
struct RememberedRow {
  uint64_t capture;  // 0: empty
  uint64_t section;
  uint64_t pc;
  tlcrash_async_dwarf_cie_info_t cie;
  dwarf_cfa_state<uint64_t> state;
};
constexpr size_t kRememberedRows = 32;
RememberedRow g_rows[kRememberedRows];

// Crash time.
RememberedRow& rowSlot(uint64_t section, uint64_t pc) {
  return g_rows[((pc ^ (section >> 4)) * 0x9E3779B97F4A7C15ull) >> 59];
}
static_assert(kRememberedRows == 32, "rowSlot picks five bits");

// .eh_frame as the header gives it; false when the header cannot be read.
// Crash time.
template <typename machine_ptr>
// Crash time.
bool ehFrameFromHeader(tlcrash_task_t task, const tlcrash_unwind_image_t& image, tlcrash_unwind_section_t* eh_frame) {
  TaskMemoryWindow header(task, image.eh_frame_hdr.address, image.eh_frame_hdr.length);
  eh_frame_hdr_reader<TaskMemoryWindow, machine_ptr> table(image.byteorder);
  if (table.init(&header) != TLCRASH_ESUCCESS) return false;
  const uint64_t address = table.eh_frame_address();
  const uint64_t room = UINT64_MAX - address;
  *eh_frame = {address, room < kEhFrameWithoutLength ? room : kEhFrameWithoutLength};
  return eh_frame->present();
}

// Finds the FDE for `pc`: through the .eh_frame_hdr table when the image has a usable one, by
// scanning the section otherwise.
// Crash time.
template <typename machine_ptr>
// Crash time.
tlcrash_error_t findFde(tlcrash_task_t task, const tlcrash_unwind_image_t& image, dwarf_frame_reader<TaskMemoryWindow>& frames,
                        uint64_t pc, tlcrash_async_dwarf_fde_info_t* fde) {
  if (image.eh_frame_hdr.present() && !frames.is_debug_frame()) {
    TaskMemoryWindow header(task, image.eh_frame_hdr.address, image.eh_frame_hdr.length);
    eh_frame_hdr_reader<TaskMemoryWindow, machine_ptr> table(image.byteorder);
    uint64_t fde_address;
    if (table.init(&header) == TLCRASH_ESUCCESS) {
      tlcrash_error_t err = table.find_fde_address(pc, &fde_address);
      if (err == TLCRASH_ESUCCESS) return frames.fde_for_pc(fde_address, pc, fde);
      if (err != TLCRASH_ENOTSUP) return err;
    }
  }
  return frames.find_fde(0, pc, fde);
}

// Crash time.
template <typename machine_ptr>
// Crash time.
tlframe_error_t unwind(tlcrash_task_t task, const tlcrash_unwind_image_t& image, TaskMemoryWindow& section, bool debug_frame,
                       const tlcrash_async_thread_state_t* current, uint64_t pc, tlcrash_async_thread_state_t* next) {
  const tlcrash_async_byteorder_t* byteorder = image.byteorder;
  if constexpr (std::is_same_v<machine_ptr, uint64_t>) {
    const uint64_t capture = tlcrash_async_read_cache_capture();
    RememberedRow& row = rowSlot(section.base_address(), pc);
    if (capture != 0 && row.capture == capture && row.section == section.base_address() && row.pc == pc) {
      if (row.state.apply_state(task, &section, &row.cie, current, byteorder, next) != TLCRASH_ESUCCESS) {
        TLCRASH_DIAG("Failed to apply CFA state for PC 0x%llx", static_cast<unsigned long long>(pc));
        return TLFRAME_ENOFRAME;
      }
      return TLFRAME_ESUCCESS;
    }
  }
  gnu_ehptr_reader<machine_ptr> pointers(byteorder);
  dwarf_cfa_state<machine_ptr> state;

  dwarf_frame_reader<TaskMemoryWindow> frames;
  frames.init(&section, byteorder, sizeof(machine_ptr) == 8, debug_frame);
  tlcrash_async_dwarf_fde_info_t fde;
  if (findFde<machine_ptr>(task, image, frames, pc, &fde) != TLCRASH_ESUCCESS) return TLFRAME_ENOTSUP;

  tlcrash_async_dwarf_cie_info_t cie;
  tlcrash_error_t err = tlcrash_async_dwarf_cie_info_init(&cie, section, byteorder, &pointers,
                                                          section.base_address() + fde.cie_offset);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to parse CIE at offset of 0x%llx: %d", static_cast<unsigned long long>(fde.cie_offset), err);
    return TLFRAME_ENOTSUP;
  }

  // The FDE holds pc, so pc_start lies below the largest machine word.
  const auto machine_pc = static_cast<machine_ptr>(pc);
  const auto initial_location = static_cast<machine_ptr>(fde.pc_start);
  err = state.eval_program(&section, machine_pc, initial_location, &cie, &pointers, byteorder, section.base_address(),
                           static_cast<int64_t>(cie.initial_instructions_offset), cie.initial_instructions_length);
  if (err == TLCRASH_ESUCCESS) {
    err = state.eval_program(&section, machine_pc, initial_location, &cie, &pointers, byteorder, section.base_address(),
                             static_cast<int64_t>(fde.instructions_offset), fde.instructions_length);
  }
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to evaluate CFA at offset of 0x%llx: %d", static_cast<unsigned long long>(fde.instructions_offset), err);
    return TLFRAME_ENOTSUP;
  }

  if constexpr (std::is_same_v<machine_ptr, uint64_t>) {
    if (const uint64_t capture = tlcrash_async_read_cache_capture(); capture != 0) {
      RememberedRow& row = rowSlot(section.base_address(), pc);
      row.capture = capture;
      row.section = section.base_address();
      row.pc = pc;
      row.cie = cie;
      row.state = state;
    }
  }
  err = state.apply_state(task, &section, &cie, current, byteorder, next);
  if (err != TLCRASH_ESUCCESS) {
    TLCRASH_DIAG("Failed to apply CFA state for PC 0x%llx: %d", static_cast<unsigned long long>(pc), err);
    return TLFRAME_ENOFRAME;
  }
  return TLFRAME_ESUCCESS;
}

}  // namespace

// Crash time.
tlframe_error_t tlframe_cursor_read_dwarf_unwind(tlcrash_task_t task, UnwindImageLookup* images,
                                                 const tlcrash_async_thread_state_t* current,
                                                 const tlcrash_async_thread_state_t* previous,
                                                 tlcrash_async_thread_state_t* next) {
  if (!tlcrash_async_thread_state_has_reg(current, TLCRASH_REG_IP)) return TLFRAME_EBADFRAME;
  uint64_t pc = tlcrash_async_thread_state_get_reg(current, TLCRASH_REG_IP);
  if (previous != nullptr && pc > 0) pc -= 1;

  UnwindImageReading reading(images);
  tlcrash_unwind_image_t image;
  if (!images->imageContaining(pc, &image)) {
    TLCRASH_DIAG("Could not find a loaded image for the current frame pc: 0x%llx", static_cast<unsigned long long>(pc));
    return TLFRAME_ENOTSUP;
  }
  if (!image.is_64bit && pc > UINT32_MAX) return TLFRAME_ENOTSUP;

  bool debug_frame = false;
  tlcrash_unwind_section_t section = image.eh_frame;
  if (!section.present() && image.eh_frame_hdr.present()) {
    if (image.is_64bit) ehFrameFromHeader<uint64_t>(task, image, &section);
    else ehFrameFromHeader<uint32_t>(task, image, &section);
  }
  if (!section.present()) {
    section = image.debug_frame;
    debug_frame = true;
  }
  if (!section.present()) return TLFRAME_ENOFRAME;

  TaskMemoryWindow window(task, section.address, section.length);
  return image.is_64bit ? unwind<uint64_t>(task, image, window, debug_frame, current, pc, next)
                        : unwind<uint32_t>(task, image, window, debug_frame, current, pc, next);
}

}  // namespace ml::crash
