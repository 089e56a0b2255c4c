#pragma once
// The throw-time record of C++ exceptions. The program's own __cxa_throw (defined with the
// record) stands in front of the C++ runtime's: while capture is switched on it keeps, per thread,
// the thrown object and the return addresses of the throw (the throwing function first), then
// hands the throw on unchanged. The terminate path reads the record of the terminating thread, so
// an uncaught exception's stack starts where it was thrown rather than in terminate machinery.
//
// Capture costs one thread-specific read, one backtrace of at most kMaxFrames addresses and, on a
// thread's first captured throw, one allocation. The record outlives its exception and is
// overwritten by the next captured throw on the same thread.
#include <cstdint>

namespace ml::beacon {

struct TLCrashesThrowRecord {
  static constexpr int kMaxFrames = 128;
  const void* thrownObject = nullptr;
  int frameCount = 0;
  // Return addresses, innermost first: the capture's own frames (the capture, the hook, and any
  // interceptor of backtrace a sanitizer adds), then the throwing function at throwerFrame.
  int throwerFrame = 0;
  void* frames[kMaxFrames] = {};
};

// Switches capture on or off for every thread.
void tlcrashes_set_throw_capture(bool enabled);
bool tlcrashes_throw_capture_enabled();
// The calling thread's record, or null when the thread never captured a throw.
const TLCrashesThrowRecord* tlcrashes_current_thread_throw_record();

}  // namespace ml::beacon
