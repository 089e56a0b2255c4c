#include "beacon/crashes/Internals/TLCrashesCXXThrowHook.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <typeinfo>

// Present only in sanitizer builds. The sanitizer's own throw interceptor, which this hook takes
// the place of, tells it that the stack is about to be unwound without returning.
extern "C" __attribute__((weak)) void __asan_handle_no_return();

namespace ml::beacon {

namespace {

using CxaThrow = void (*)(void*, std::type_info*, void (*)(void*));

std::atomic<bool> captureEnabled{false};
pthread_key_t recordKey;
pthread_once_t recordKeyOnce = PTHREAD_ONCE_INIT;

void makeRecordKey() { pthread_key_create(&recordKey, std::free); }

CxaThrow runtimeThrow() {
  static const CxaThrow next = reinterpret_cast<CxaThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
  return next;
}

__attribute__((noinline)) void capture(void* thrownObject) {
  pthread_once(&recordKeyOnce, makeRecordKey);
  auto* record = static_cast<TLCrashesThrowRecord*>(pthread_getspecific(recordKey));
  if (!record) {
    record = static_cast<TLCrashesThrowRecord*>(std::calloc(1, sizeof(TLCrashesThrowRecord)));
    if (!record) return;
    pthread_setspecific(recordKey, record);
  }
  record->thrownObject = thrownObject;
  record->frameCount = backtrace(record->frames, TLCrashesThrowRecord::kMaxFrames);
  // The frame after the one that returns into the hook is the thrower's.
  const void* intoHook = __builtin_return_address(0);
  record->throwerFrame = std::min(2, record->frameCount);
  for (int i = 0; i < record->frameCount; ++i) {
    if (record->frames[i] == intoHook) {
      record->throwerFrame = i + 1;
      break;
    }
  }
}

}  // namespace

void tlcrashes_set_throw_capture(bool enabled) {
  if (enabled) {
    // Resolved now, in a normal context, rather than at the first throw.
    pthread_once(&recordKeyOnce, makeRecordKey);
    (void)runtimeThrow();
  }
  captureEnabled.store(enabled, std::memory_order_release);
}

bool tlcrashes_throw_capture_enabled() { return captureEnabled.load(std::memory_order_acquire); }

const TLCrashesThrowRecord* tlcrashes_current_thread_throw_record() {
  pthread_once(&recordKeyOnce, makeRecordKey);
  return static_cast<const TLCrashesThrowRecord*>(pthread_getspecific(recordKey));
}

}  // namespace ml::beacon

// capture() stays a frame of its own: its return address is how the record finds the thrower.
extern "C" __attribute__((noreturn, noinline, visibility("default"))) void __cxa_throw(
    void* thrownObject, std::type_info* type, void (*destructor)(void*)) {
  if (ml::beacon::captureEnabled.load(std::memory_order_acquire)) ml::beacon::capture(thrownObject);
  if (__asan_handle_no_return) __asan_handle_no_return();
  const ml::beacon::CxaThrow next = ml::beacon::runtimeThrow();
  if (!next) std::abort();
  next(thrownObject, type, destructor);
  __builtin_unreachable();
}
