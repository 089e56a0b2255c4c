#pragma once
// Code that runs in crashing children: functions that fault in known ways (each a real function
// with a name of its own, so a report can be checked for it), threads that block until the
// process ends, and the reporter set-up every crash test shares.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crashreporter/capture/TLCrashReporter.h"

extern "C" {
void crashcapture_null_read();
void crashcapture_bus_error();
int crashcapture_divide(int dividend, int divisor);
void crashcapture_abort();
void crashcapture_illegal_instruction();
int crashcapture_overflow(int depth);
void crashcapture_breakpoint();
// Where the blocked threads wait.
void crashcapture_blocked_thread_wait();
// Calls through a null function pointer (a real call: the return address is pushed).
void crashcapture_null_call();
}

namespace ml::crash::test {

// The identity every crash test's reporter uses; the report folder follows from it.
inline constexpr char kTestAppIdentifier[] = "org.marrowlane.CrashCaptureTests";
inline constexpr char kTestAppVersion[] = "7";

// A reporter with the test identity (symbols looked up, so frames can be checked by name).
TLCrashReporter makeReporter(uint64_t handler_type,
                             uint64_t strategy = TLCrashReporterSymbolicationStrategySymbolTable,
                             bool uncaught_exception_hook = true);

// Starts `count` threads that block in crashcapture_blocked_thread_wait until the process ends,
// and returns once all of them are blocked there. Child processes only (the threads never end).
void startBlockedThreads(size_t count);

// Starts `count` threads that wait for one signal together and then all fault in
// crashcapture_null_read at the same moment; does not return. Child processes only.
[[noreturn]] void faultTogether(size_t count);

// Enables `reporter` or exits the child with status 90 after printing the error.
void enableOrExit(TLCrashReporter& reporter);

// The test binary's own path.
std::string selfExecutable();

}  // namespace ml::crash::test
