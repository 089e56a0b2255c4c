// The last reader of the chain: frames linked by saved frame pointers. Needs no unwind data, so
// it walks code built with frame pointers; anything else is left to the readers before it.
#include "crashreporter/AsyncDiagnostic.h"
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/FrameCursor.h"

namespace ml::crash {

// Crash time.
tlframe_error_t tlframe_cursor_read_frame_ptr(tlcrash_task_t task, UnwindImageLookup*,
                                              const tlcrash_async_thread_state_t* current,
                                              const tlcrash_async_thread_state_t* previous,
                                              tlcrash_async_thread_state_t* next) {
  if (!tlcrash_async_thread_state_has_reg(current, TLCRASH_REG_FP)) {
    TLCRASH_DIAG("The frame pointer is unavailable, can't read saved register.");
    return TLFRAME_EBADFRAME;
  }
  const uint64_t fp = tlcrash_async_thread_state_get_reg(current, TLCRASH_REG_FP);
  if (fp == 0) return TLFRAME_ENOFRAME;

  // Frames of one stack lie in its growth order; a frame pointer that goes back the other way
  // would make the walk loop or wander.
  if (previous != nullptr && tlcrash_async_thread_state_has_reg(previous, TLCRASH_REG_FP)) {
    const uint64_t previous_fp = tlcrash_async_thread_state_get_reg(previous, TLCRASH_REG_FP);
    const uint32_t direction = tlcrash_async_thread_state_get_stack_direction(current);
    if ((direction == TLCRASH_ASYNC_STACK_DIRECTION_DOWN && fp < previous_fp) ||
        (direction == TLCRASH_ASYNC_STACK_DIRECTION_UP && fp > previous_fp)) {
      TLCRASH_DIAG("Stack growing in wrong direction, terminating stack walk");
      return TLFRAME_EBADFRAME;
    }
  }

  // [fp] = the caller's frame pointer, [fp + W] = the return address.
  const uint64_t word = tlcrash_async_thread_state_get_greg_size(current);
  uint64_t record[2] = {0, 0};
  int err;
  if (word == 4) {
    uint32_t record32[2] = {0, 0};
    err = tlcrash_async_read_addr(task, fp, record32, sizeof(record32));
    record[0] = record32[0];
    record[1] = record32[1];
  } else {
    err = tlcrash_async_read_addr(task, fp, record, sizeof(record));
  }
  if (err != 0) {
    TLCRASH_DIAG("Failed to read frame: %d", err);
    return TLFRAME_EBADFRAME;
  }

  tlcrash_async_thread_state_copy(next, current);
  tlcrash_async_thread_state_clear_all_regs(next);
  tlcrash_async_thread_state_set_reg(next, TLCRASH_REG_IP, record[1]);

  // The caller's frame lies strictly beyond this one in the stack's growth order (0 ends the
  // chain): a record linked to itself, or back towards the stack's top, would repeat frames to the
  // walk's limit. Its return address is still the caller's, so the frame is taken; its frame
  // pointer stays unknown, which ends the walk at the next step.
  const uint32_t direction = tlcrash_async_thread_state_get_stack_direction(current);
  if (record[0] != 0 && ((direction == TLCRASH_ASYNC_STACK_DIRECTION_DOWN && record[0] <= fp) ||
                         (direction == TLCRASH_ASYNC_STACK_DIRECTION_UP && record[0] >= fp))) {
    TLCRASH_DIAG("Saved frame pointer does not lead up the stack, terminating stack walk");
  } else {
    tlcrash_async_thread_state_set_reg(next, TLCRASH_REG_FP, record[0]);
  }
  return TLFRAME_ESUCCESS;
}

}  // namespace ml::crash
