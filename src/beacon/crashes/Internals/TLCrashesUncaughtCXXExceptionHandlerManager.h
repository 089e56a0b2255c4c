#pragma once
// Turns a C++ exception that reaches std::terminate into an info record for registered handlers
// (the crashes service registers one that hands it to the crash reporter's uncaught-exception
// path, so the report carries the exception's type, message and stack).
//
// The stack of the record starts in the function that threw: the throw-time record of the
// terminating thread (TLCrashesCXXThrowHook.h) when it holds this very exception, else a backtrace
// taken in the terminate handler with the handler's own frames and the C++ runtime's (terminate,
// throw, unwinder) dropped. The latter still starts at the throw because an exception that no
// handler catches reaches std::terminate before anything is unwound.
//
// Handlers are called in registration order (duplicates allowed) under the manager's lock: a
// handler must not add or remove handlers. Our terminate handler is installed by the first add
// and the previous one restored when the last handler goes, unless someone replaced ours since.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace ml::beacon {

struct TLCrashesUncaughtCXXExceptionInfo {
  const std::exception_ptr* exceptionHolder = nullptr;
  const char* typeName = nullptr;  // mangled name of the exception's type
  const char* message = nullptr;   // null when the exception carries no text
  std::uint32_t frameCount = 0;
  const std::uintptr_t* frames = nullptr;  // innermost first
};

using TLCrashesUncaughtCXXExceptionHandler = void (*)(const TLCrashesUncaughtCXXExceptionInfo* info);

class TLCrashesUncaughtCXXExceptionHandlerManager {
 public:
  static constexpr int kMaxFrames = 128;

  static void addCXXExceptionHandler(TLCrashesUncaughtCXXExceptionHandler handler);
  static void removeCXXExceptionHandler(TLCrashesUncaughtCXXExceptionHandler handler);
  static std::size_t countCXXExceptionHandler();

  // The terminate handler: classifies the current exception, calls the handlers, then the
  // previous terminate handler (or abort).
  [[noreturn]] static void terminateHandler();
  // Builds the info record for the current exception and calls `deliver` with it; false when
  // there is no current exception. Exposed so the classification can be tested without ending
  // the process.
  static bool describeCurrentException(void (*deliver)(const TLCrashesUncaughtCXXExceptionInfo*, void*), void* context);
};

// The exception handed to the crash reporter: the demangled type name (the mangled one when it
// does not demangle), the message ("" when none) and the throw-time return addresses.
struct TLCrashesCXXExceptionWrapperException {
  std::string name;
  std::string reason;
  std::vector<std::uintptr_t> callStackReturnAddresses;

  static TLCrashesCXXExceptionWrapperException fromInfo(const TLCrashesUncaughtCXXExceptionInfo& info);
};

}  // namespace ml::beacon
