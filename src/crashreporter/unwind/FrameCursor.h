#pragma once
// The frame cursor: steps from a frame to its caller by asking a chain of frame readers in
// turn (compact unwind, DWARF call frame information, frame pointers) and keeps the current and
// the previous frame's registers.
//
// Calling order, as the crash log writer uses it: init; next (the first call yields the
// initial frame itself); read the registers; next again until it fails or enough frames were
// written; free.
//
// Crash time: everything here is async-signal-safe (copies of register sets on the caller's
// stack; the readers read memory only through the safe reads). A cursor belongs to the walking
// thread; the walked thread is stopped or is the crashing thread itself.
#include <cstdint>

#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/FrameStatus.h"
#include "crashreporter/unwind/ThreadState.h"
#include "crashreporter/unwind/UnwindImageLookup.h"

namespace ml::crash {

// A frame reader: from the current frame (and the previous one, null at the first step),
// produces the caller's registers in *next. TLFRAME_ESUCCESS only with a complete next frame.
using tlframe_cursor_frame_reader_t = tlframe_error_t (*)(tlcrash_task_t task, UnwindImageLookup* images,
                                                          const tlcrash_async_thread_state_t* current,
                                                          const tlcrash_async_thread_state_t* previous,
                                                          tlcrash_async_thread_state_t* next);

struct tlframe_cursor_t {
  tlcrash_task_t task;
  UnwindImageLookup* images;
  uint32_t depth;  // 0 before the first step, then the number of frames produced
  tlcrash_async_thread_state_t prev_frame;
  tlcrash_async_thread_state_t frame;
};

// The default chain: the faulted call's return, compact unwind, DWARF, frame pointer.
extern const tlframe_cursor_frame_reader_t frame_reader_chain[4];

// Starts at `thread_state` (copied). Always TLFRAME_ESUCCESS.
tlframe_error_t tlframe_cursor_init(tlframe_cursor_t* cursor, tlcrash_task_t task,
                                    const tlcrash_async_thread_state_t* thread_state, UnwindImageLookup* images);

// One step over frame_reader_chain.
tlframe_error_t tlframe_cursor_next(tlframe_cursor_t* cursor);
// One step over the given readers: the first that succeeds wins; when all fail, the last
// reader's status. TLFRAME_ENOFRAME ends the walk at a pc of 0x1000 or below; TLFRAME_EINVAL
// for an empty table. On failure the cursor's frames are unchanged.
tlframe_error_t tlframe_cursor_next_with_readers(tlframe_cursor_t* cursor, const tlframe_cursor_frame_reader_t* readers,
                                                 uint32_t reader_count);

// TLFRAME_ENOTSUP when register `reg` of the current frame holds no known value.
tlframe_error_t tlframe_cursor_get_reg(const tlframe_cursor_t* cursor, uint32_t reg, uint64_t* value);
const char* tlframe_cursor_get_regname(const tlframe_cursor_t* cursor, uint32_t reg);
uint32_t tlframe_cursor_get_regcount(const tlframe_cursor_t* cursor);

// Releases nothing on this platform (the cursor holds no task reference); kept so every walk
// ends the same way.
void tlframe_cursor_free(tlframe_cursor_t* cursor);

// The frame-pointer reader: the caller's frame pointer and return address are the two words at
// the current frame pointer. The produced frame has only those two registers; when the saved frame
// pointer does not lead up the stack, only the return address, and the walk ends after it.
tlframe_error_t tlframe_cursor_read_frame_ptr(tlcrash_task_t task, UnwindImageLookup* images,
                                              const tlcrash_async_thread_state_t* current,
                                              const tlcrash_async_thread_state_t* previous,
                                              tlcrash_async_thread_state_t* next);

// The faulted-call reader (FaultReturnReader.cpp): at the innermost frame only, when the thread
// faulted fetching its pc and the pc lies in no loaded image (a call through a bad function
// pointer), the caller is the return address on top of the stack, with the stack pointer above
// it and the callee-saved registers kept. TLFRAME_ENOTSUP in every other case (and when that
// word does not point into a loaded image), so the next readers decide.
tlframe_error_t tlframe_cursor_read_fault_return(tlcrash_task_t task, UnwindImageLookup* images,
                                                 const tlcrash_async_thread_state_t* current,
                                                 const tlcrash_async_thread_state_t* previous,
                                                 tlcrash_async_thread_state_t* next);

// The DWARF reader (DwarfFrameUnwind.cpp): the pc's FDE in its image's .eh_frame (through
// .eh_frame_hdr when the image has one) or .debug_frame.
tlframe_error_t tlframe_cursor_read_dwarf_unwind(tlcrash_task_t task, UnwindImageLookup* images,
                                                 const tlcrash_async_thread_state_t* current,
                                                 const tlcrash_async_thread_state_t* previous,
                                                 tlcrash_async_thread_state_t* next);

// The compact unwind reader (CompactUnwindFrame.cpp): the pc's entry in its image's
// __TEXT,__unwind_info.
tlframe_error_t tlframe_cursor_read_compact_unwind(tlcrash_task_t task, UnwindImageLookup* images,
                                                   const tlcrash_async_thread_state_t* current,
                                                   const tlcrash_async_thread_state_t* previous,
                                                   tlcrash_async_thread_state_t* next);

}  // namespace ml::crash
