#include "crashreporter/unwind/FrameCursor.h"

#include "crashreporter/AsyncDiagnostic.h"

namespace ml::crash {

namespace {
// Return addresses at or below this are not code: a null or nearly null pointer ends the walk.
constexpr uint64_t kLowestReturnAddress = 0x1000;
}  // namespace

const tlframe_cursor_frame_reader_t frame_reader_chain[4] = {
    tlframe_cursor_read_fault_return,
    tlframe_cursor_read_compact_unwind,
    tlframe_cursor_read_dwarf_unwind,
    tlframe_cursor_read_frame_ptr,
};

// Crash time.
tlframe_error_t tlframe_cursor_init(tlframe_cursor_t* cursor, tlcrash_task_t task,
                                    const tlcrash_async_thread_state_t* thread_state, UnwindImageLookup* images) {
  cursor->task = task;
  cursor->images = images;
  cursor->depth = 0;
  tlcrash_async_thread_state_copy(&cursor->frame, thread_state);
  tlcrash_async_thread_state_copy(&cursor->prev_frame, thread_state);
  return TLFRAME_ESUCCESS;
}

// Crash time.
tlframe_error_t tlframe_cursor_next(tlframe_cursor_t* cursor) {
  return tlframe_cursor_next_with_readers(cursor, frame_reader_chain,
                                          sizeof(frame_reader_chain) / sizeof(frame_reader_chain[0]));
}

// Crash time.
tlframe_error_t tlframe_cursor_next_with_readers(tlframe_cursor_t* cursor, const tlframe_cursor_frame_reader_t* readers,
                                                 uint32_t reader_count) {
  // The first frame is the initial state itself.
  if (cursor->depth == 0) {
    cursor->depth = 1;
    return TLFRAME_ESUCCESS;
  }
  if (reader_count == 0) return TLFRAME_EINVAL;

  const tlcrash_async_thread_state_t* previous = cursor->depth == 1 ? nullptr : &cursor->prev_frame;
  tlcrash_async_thread_state_t next;
  tlframe_error_t status = TLFRAME_EUNKNOWN;
  for (uint32_t i = 0; i < reader_count; ++i) {
    status = readers[i](cursor->task, cursor->images, &cursor->frame, previous, &next);
    if (status == TLFRAME_ESUCCESS) break;
  }
  if (status != TLFRAME_ESUCCESS) return status;

  if (!tlcrash_async_thread_state_has_reg(&next, TLCRASH_REG_IP)) {
    TLCRASH_DIAG("Missing expected IP value in successfully read frame");
    return TLFRAME_ENOFRAME;
  }
  if (tlcrash_async_thread_state_get_reg(&next, TLCRASH_REG_IP) <= kLowestReturnAddress) return TLFRAME_ENOFRAME;

  tlcrash_async_thread_state_copy(&cursor->prev_frame, &cursor->frame);
  tlcrash_async_thread_state_copy(&cursor->frame, &next);
  cursor->depth++;
  return TLFRAME_ESUCCESS;
}

// Crash time.
tlframe_error_t tlframe_cursor_get_reg(const tlframe_cursor_t* cursor, uint32_t reg, uint64_t* value) {
  if (!tlcrash_async_thread_state_has_reg(&cursor->frame, reg)) return TLFRAME_ENOTSUP;
  *value = tlcrash_async_thread_state_get_reg(&cursor->frame, reg);
  return TLFRAME_ESUCCESS;
}

// Crash time.
const char* tlframe_cursor_get_regname(const tlframe_cursor_t* cursor, uint32_t reg) {
  return tlcrash_async_thread_state_get_reg_name(&cursor->frame, reg);
}

// Crash time.
uint32_t tlframe_cursor_get_regcount(const tlframe_cursor_t* cursor) {
  return tlcrash_async_thread_state_get_reg_count(&cursor->frame);
}

// Crash time.
void tlframe_cursor_free(tlframe_cursor_t*) {}

}  // namespace ml::crash
