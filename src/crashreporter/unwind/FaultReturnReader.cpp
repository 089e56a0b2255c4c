// The first reader of the chain, for one case only: the innermost frame of a thread that faulted
// on fetching its own instruction, at a pc that lies in no loaded image (a call through a null
// or stale function pointer). The call pushed its return address and jumped; the callee never
// ran a single instruction, so no frame of its own exists: the frame-pointer chain still starts
// at the caller's frame (and would skip the caller), and no image has unwind data for the pc.
// The caller is the return address on top of the stack (x86), with the stack pointer above it
// and every callee-saved register as the caller left it.
#include "crashreporter/AsyncMemory.h"
#include "crashreporter/unwind/FrameCursor.h"

namespace ml::crash {
namespace {

// The x86 page-fault trap: an instruction fetch from an unmapped or non-executable page.
constexpr uint16_t kPageFaultTrap = 14;

// Whether the frame's registers are those of a page fault at its own pc. Crash time.
bool faultedFetchingPc(const tlcrash_async_thread_state_t* state, uint64_t pc) {
  const tlcrash_x86_exception_state_t& exception = state->x86_exc_state;
  if (exception.flavor == kTLCrashX86ExceptionState64) {
    return exception.ues.es64.trapno == kPageFaultTrap && exception.ues.es64.faultvaddr == pc;
  }
  if (exception.flavor == kTLCrashX86ExceptionState32) {
    return exception.ues.es32.trapno == kPageFaultTrap && exception.ues.es32.faultvaddr == pc;
  }
  return false;
}

// Crash time.
bool inLoadedImage(UnwindImageLookup* images, uint64_t pc) {
  UnwindImageReading reading(images);
  tlcrash_unwind_image_t image;
  return images->imageContaining(pc, &image);
}

}  // namespace

// Crash time.
tlframe_error_t tlframe_cursor_read_fault_return(tlcrash_task_t task, UnwindImageLookup* images,
                                                 const tlcrash_async_thread_state_t* current,
                                                 const tlcrash_async_thread_state_t* previous,
                                                 tlcrash_async_thread_state_t* next) {
  // Only the innermost frame can be a call that never arrived.
  if (previous != nullptr || images == nullptr) return TLFRAME_ENOTSUP;
  if (!tlcrash_async_thread_state_has_reg(current, TLCRASH_REG_IP) ||
      !tlcrash_async_thread_state_has_reg(current, TLCRASH_REG_SP)) {
    return TLFRAME_ENOTSUP;
  }
  const uint64_t pc = tlcrash_async_thread_state_get_reg(current, TLCRASH_REG_IP);
  if (!faultedFetchingPc(current, pc) || inLoadedImage(images, pc)) return TLFRAME_ENOTSUP;

  const uint64_t sp = tlcrash_async_thread_state_get_reg(current, TLCRASH_REG_SP);
  const uint64_t word = tlcrash_async_thread_state_get_greg_size(current);
  uint64_t return_address = 0;
  if (word == 4) {
    uint32_t return_address32 = 0;
    if (tlcrash_async_read_addr(task, sp, &return_address32, sizeof(return_address32)) != 0) return TLFRAME_ENOTSUP;
    return_address = return_address32;
  } else if (tlcrash_async_read_addr(task, sp, &return_address, sizeof(return_address)) != 0) {
    return TLFRAME_ENOTSUP;
  }
  // A jump (not a call) to a bad address leaves no return address on top: whatever lies there
  // is not trusted unless it points into code; the other readers then have their say.
  if (!inLoadedImage(images, return_address)) return TLFRAME_ENOTSUP;

  tlcrash_async_thread_state_copy(next, current);
  tlcrash_async_thread_state_clear_volatile_regs(next);
  tlcrash_async_thread_state_set_reg(next, TLCRASH_REG_IP, return_address);
  tlcrash_async_thread_state_set_reg(next, TLCRASH_REG_SP, sp + word);
  return TLFRAME_ESUCCESS;
}

}  // namespace ml::crash
