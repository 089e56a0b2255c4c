#pragma once
// The process-wide registry of the crash reporter's POSIX signal handlers.
//
// Signal flow (drawn once; every step after the kernel's is async-signal-safe):
//
//   fatal signal on thread T
//     -> kernel switches to T's alternate stack (when T has one) and calls tlcrash_signal_handler
//     -> chain: head of the callback list ... each callback gets a next handle for the rest
//          user callbacks (latest registration first), e.g. the reporter's, which writes the
//          report and then continues the chain
//          -> pass-through entry (always last): the action installed before ours for this signal
//             (its handler runs: handled; SIG_IGN: handled; SIG_DFL or none: not handled)
//     -> not handled: the signal's action goes back to the default and the signal is raised
//        again; the default action ends the process when the handler returns
//     -> handled: the handler returns (a fault is then retried by the processor)
//
// Contexts: registration is normal context, serialised by one mutex; the lists are lock-free for
// readers (AsyncList.h), so delivery on any thread, also during a registration, takes no lock,
// allocates nothing and sends no message. Registered callbacks must be async-signal-safe too.
// The delivery half (SignalDelivery.h) is built apart, into the crash path.
//
// Alternate stacks: the first thread that registers gets the handler's own stack; any other
// thread that registers, or asks through installAlternateStackForCurrentThread, gets a stack of
// its own (a stack is never shared by two threads, which could crash at the same time), unless
// it already has one of full size. Every stack has an inaccessible guard page below it, so a
// handler that overruns its stack faults instead of overwriting memory. The reporter gives every
// other thread a stack too (ThreadAlternateStacks.h).
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ucontext.h>

#include "crashreporter/capture/CrashReporterErrors.h"
#include "crashreporter/capture/platform/ThreadAlternateStacks.h"

namespace ml::crash {

// Size of each alternate signal stack (the guard page comes on top).
inline constexpr size_t kAlternateStackSize = kThreadAlternateStackSize;

// The next handle a callback receives: continues the chain after the callback's entry.
struct TLCrashSignalHandlerCallback {
  bool (*callback)(int signo, siginfo_t* info, ucontext_t* uap, void* context);
  void* context;
};

// A registered callback: returns whether it handled the signal. `next` is null for the last
// entry. Must be async-signal-safe.
using TLCrashSignalHandlerCallbackFunc = bool (*)(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                                                  TLCrashSignalHandlerCallback* next);

struct tlcrash_signal_user_callback {
  TLCrashSignalHandlerCallbackFunc callback = nullptr;
  void* context = nullptr;
  bool operator==(const tlcrash_signal_user_callback&) const = default;
};

struct tlcrash_signal_handler_action {
  int signo = 0;
  struct sigaction action {};
  bool operator==(const tlcrash_signal_handler_action& other) const { return signo == other.signo; }
};

class TLCrashSignalHandler {
 public:
  // The one instance (created on first use, normal context).
  static TLCrashSignalHandler& sharedHandler();

  // Installs the handler for `signo` (once per signal) and puts the callback at the head of the
  // chain; registering the same callback and context again does not add a second entry.
  TLCrashStatus registerHandlerForSignal(int signo, TLCrashSignalHandlerCallbackFunc callback, void* context);
  // Installs the handler for `signo` on the calling thread's alternate stack; the first
  // registration of a signal keeps the action it replaces for the pass-through entry. Errors:
  // code 1 "Could not initialize alternative signal stack" or "Failed to register signal handler"
  // with the POSIX error.
  TLCrashStatus registerHandlerWithSignal(int signo);

  // Gives the calling thread an alternate signal stack of its own (kept until the thread ends),
  // so that a stack overflow on it still reaches the handlers. Errors as above.
  TLCrashStatus installAlternateStackForCurrentThread();

  // Empties both lists (the installed system actions stay). Normal context; for tests.
  static void resetHandlers();

  TLCrashSignalHandler(const TLCrashSignalHandler&) = delete;
  TLCrashSignalHandler& operator=(const TLCrashSignalHandler&) = delete;

 private:
  TLCrashSignalHandler();
  TLCrashStatus installAlternateStack();

  void* sigstk_base_ = nullptr;  // the usable stack (above its guard page); null when it could not be mapped
};

// The handler given to the system. Async-signal-safe.
void tlcrash_signal_handler(int signo, siginfo_t* info, void* uap);

// Calls the handle's function with its context; false for a null handle. Async-signal-safe.
bool TLCrashSignalHandlerForward(TLCrashSignalHandlerCallback* next, int signo, siginfo_t* info, ucontext_t* uap);

}  // namespace ml::crash
