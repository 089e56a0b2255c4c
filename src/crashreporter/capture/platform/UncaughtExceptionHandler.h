#pragma once
// The process's uncaught-exception handler: the slot through which an exception that nothing
// caught is handed over before the process ends (the stand-in for the platform's
// NSSetUncaughtExceptionHandler / NSGetUncaughtExceptionHandler). The crash reporter installs its
// hook here; whoever catches an exception at the top (the C++ terminate path) passes it on through
// tl_get_uncaught_exception_handler.
//
// Thread safety: setting and getting are atomic; the handler runs on the thread that had the
// exception, in a normal context (not in a signal handler).
#include <cstdint>
#include <string>
#include <vector>

namespace ml::crash {

struct TLUncaughtException {
  std::string name;
  std::string reason;
  std::vector<uint64_t> callStackReturnAddresses;  // innermost first
};

using TLUncaughtExceptionHandler = void (*)(const TLUncaughtException& exception);

void tl_set_uncaught_exception_handler(TLUncaughtExceptionHandler handler);
// The installed handler, or null.
TLUncaughtExceptionHandler tl_get_uncaught_exception_handler();

}  // namespace ml::crash
