#include "crashreporter/capture/platform/ThreadStates.h"

#include "crashreporter/AsyncString.h"
#include "crashreporter/capture/platform/FaultRelay.h"
#include "crashreporter/capture/platform/ThreadStopper.h"

namespace ml::crash::mach {

// Crash time.
bool tl_thread_stopped_registers(tlcrash_thread_t thread, tlcrash_async_thread_state_t* state) {
  const ucontext_t* context = nullptr;
  const siginfo_t* info = nullptr;
  if (tl_fault_relay_stopped_thread(thread, &context, &info)) {
    tlcrash_async_thread_state_mcontext_init(state, &context->uc_mcontext);
    return true;
  }
  if (const tlcrash_async_thread_state_t* stopped = tlcrash_async_thread_stopped_state(thread); stopped != nullptr) {
    tlcrash_async_thread_state_copy(state, stopped);
    return true;
  }
  return false;
}

// Crash time.
uint32_t tl_thread_state_to_flavor(const tlcrash_async_thread_state_t* state, thread_state_flavor_t flavor,
                                   uint32_t* words, uint32_t capacity) {
  const auto& registers = state->x86_state.uts.ts64;
  if (flavor == x86_THREAD_STATE64) {
    if (capacity < x86_THREAD_STATE64_COUNT) return 0;
    tlcrash_async_memcpy(words, &registers, sizeof(registers));
    return x86_THREAD_STATE64_COUNT;
  }
  if (flavor == x86_THREAD_STATE) {
    if (capacity < x86_THREAD_STATE_COUNT) return 0;
    words[0] = static_cast<uint32_t>(x86_THREAD_STATE64);
    words[1] = x86_THREAD_STATE64_COUNT;
    tlcrash_async_memcpy(words + 2, &registers, sizeof(registers));
    return x86_THREAD_STATE_COUNT;
  }
  return 0;
}

// Crash time.
bool tl_thread_state_from_flavor(thread_state_flavor_t flavor, const uint32_t* words, uint32_t count,
                                 tlcrash_x86_thread_state64_t* registers) {
  if (flavor == x86_THREAD_STATE64 && count >= x86_THREAD_STATE64_COUNT) {
    tlcrash_async_memcpy(registers, words, sizeof(*registers));
    return true;
  }
  if (flavor == x86_THREAD_STATE && count >= x86_THREAD_STATE_COUNT &&
      words[0] == static_cast<uint32_t>(x86_THREAD_STATE64)) {
    tlcrash_async_memcpy(registers, words + 2, sizeof(*registers));
    return true;
  }
  return false;
}

// Crash time.
kern_return_t tl_thread_get_state(tlcrash_thread_t thread, thread_state_flavor_t flavor, uint32_t* state,
                                  uint32_t* count) {
  if (flavor != x86_THREAD_STATE64 && flavor != x86_THREAD_STATE) return KERN_INVALID_ARGUMENT;
  tlcrash_async_thread_state_t registers;
  if (!tl_thread_stopped_registers(thread, &registers)) return KERN_FAILURE;
  uint32_t words = tl_thread_state_to_flavor(&registers, flavor, state, *count);
  if (words == 0) return KERN_INVALID_ARGUMENT;
  *count = words;
  return KERN_SUCCESS;
}

}  // namespace ml::crash::mach
