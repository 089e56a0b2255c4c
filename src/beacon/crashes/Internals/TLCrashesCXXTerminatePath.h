#pragma once
// The crashes service's C++ terminate path: registered with the exception handler manager when
// the service enables the crash reporter. Hands the exception (demangled type, message,
// throw-time stack) to the process's uncaught-exception handler, which the crash reporter
// installed to record it in the report, and aborts. Never returns.
#include "beacon/crashes/Internals/TLCrashesUncaughtCXXExceptionHandlerManager.h"

namespace ml::beacon {

[[noreturn]] void uncaught_cxx_exception_handler(const TLCrashesUncaughtCXXExceptionInfo* info);

}  // namespace ml::beacon
